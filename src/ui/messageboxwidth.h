#pragma once

class QMessageBox;

// A message box sizes itself to its headline; one whose words are all in the informative text
// (or whose headline is short) comes out as a narrow column. This gives it room for about
// fifty characters a line.
void widenForReading(QMessageBox &box);
