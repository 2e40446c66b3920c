#pragma once

#include <QLabel>

// A one-line value that may be longer than its place (a host key's fingerprint has nowhere to
// wrap): it shows the start and the end with "…" between, and the whole text as its tooltip.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    void setFullText(const QString &text);
    const QString &fullText() const { return m_fullText; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString m_fullText;
};
