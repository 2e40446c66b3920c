#pragma once

class QWidget;

// Shows the window, out of the minimised state, on top, with the keyboard focus, as far as
// the window manager lets an application take it.
void bringForward(QWidget *window);
