// VexaHost - the status bar's panels, side by side, never overlapping.
//
// Each panel is as wide as designed, or as its text when that is wider.
// When the window is too narrow for all of them, panels give way in a fixed
// order: first the panels that may yield (the addressed-reader panel, then
// the baud rate or USB state) down to their text, then every panel down to
// its text, then the yielding panels below their text. No panel ever covers
// another; a yielding panel may show only the start of its text (the whole
// text stays its accessible text).
#pragma once

#include <QList>
#include <QWidget>

class QLabel;

namespace vexa {

class StatusPanelRow : public QWidget
{
    Q_OBJECT
public:
    explicit StatusPanelRow(QWidget *parent = nullptr);

    // Adds `panel` with its designed width. A `fixed` panel keeps exactly
    // that width (its contents sit at fixed places). `yieldOrder` > 0 lets
    // the panel shrink below its text, lower numbers first; the last panel
    // added takes the width left over.
    void addPanel(QLabel *panel, int designedWidth, bool fixed = false, int yieldOrder = 0);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Panels touch; their sunken frames keep them apart.
    static constexpr int kSpacing = 0;

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Panel
    {
        QLabel *label;
        int designed;
        bool fixed;
        int yieldOrder;
    };
    int textWidth(const Panel &panel) const;
    int preferredWidth(const Panel &panel) const;
    int floorWidth(const Panel &panel) const;
    void arrange();

    QList<Panel> m_panels;
};

} // namespace vexa
