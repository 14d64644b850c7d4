// VexaHost - a small Tx or Rx light on the status bar.
#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace vexa {

class StatusLight : public QWidget
{
    Q_OBJECT
public:
    StatusLight(const QColor &litColour, QWidget *parent = nullptr);

    bool isLit() const { return m_lit; }
    void setLit(bool lit);
    // Lit now and put out a moment after the last call, like a line monitor.
    void flash();

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QColor m_colour;
    bool m_lit = false;
    QTimer m_off;
};

// Status panel 3: the words "Tx" and "Rx" at fixed places, each followed by
// its light, whatever the width of a blank in the current font. The label's
// text stays "Tx         Rx" for assistive technology.
class LightsPanel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *) override;
};

} // namespace vexa
