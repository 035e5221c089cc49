#pragma once

#include <QObject>

class QWidget;

// Whether a skinned button shows its hover image: while the pointer is over
// it, while its owner set the hover, or as a mark that points at it (after
// a failed load) until the pointer moves anywhere in the program off the
// button or the button loses the focus. The button feeds it its pointer
// and focus events. GUI thread only.
class HoverLook : public QObject {
public:
    // button must outlive the look.
    explicit HoverLook(QWidget& button);

    // The owner's hover; repaints the button.
    void Set(bool hover);
    [[nodiscard]] bool IsSet() const { return m_hover; }
    // Shows the hover look as a mark, without the pointer being there.
    void ShowMark();
    // Whether the hover image shows (a disabled button hears no pointer,
    // so only Set lights it).
    [[nodiscard]] bool IsLit(bool enabled) const { return m_hover || (m_pointerInside && enabled); }

    // The button's pointer and focus events.
    void PointerEntered();
    void PointerMoved(bool inside);
    void PointerLeft();
    void FocusLost();

protected:
    // The program's pointer moves, while the mark shows.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EndMark();
    [[nodiscard]] bool PointerIsOver() const;

    QWidget& m_button;
    bool m_pointerInside = false;
    bool m_hover = false;
    bool m_mark = false;  // watching the program's pointer moves
};
