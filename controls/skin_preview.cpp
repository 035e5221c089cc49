// skin-preview OUT.png: renders the main panel as a fresh start shows it
// (background, every control at its place, every row empty, Save disabled)
// into a PNG, for reviewing the skin without starting the program.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include <map>
#include <cstdio>
#include <memory>
#include <vector>

#include "controls/DrawCentered.h"
#include "controls/SkinButton.h"
#include "controls/SkinStatic.h"
#include "res/SkinLayout.h"
#include "res/SkinResources.h"

namespace {

class PreviewPanel : public QWidget {
public:
    PreviewPanel() {
        setFixedSize(SkinPanelSize, SkinPanelSize);
        const qreal ratio = devicePixelRatioF();
        for (const int id : SkinBitmapIds()) {
            m_bitmaps.emplace(id, LoadSkinBitmap(id, ratio));
        }
        for (int slot = 0; slot < SkinSlotCount; ++slot) {
            AddButton(SkinLoadButtonRect(slot), BmpLoadNormalFirst + slot, BmpLoadPressedFirst + slot,
                      BmpLoadHoverFirst + slot, true);
            auto* label = new CSkinStatic(this);  // owned by the panel
            label->setGeometry(SkinLabelRect(slot));
            AddButton(SkinClearButtonRect(slot), BmpClearDisabled, BmpClearDisabled, BmpClearDisabled, false);
            AddButton(SkinPlayButtonRect(slot), BmpPlayDisabled, BmpPlayDisabled, BmpPlayDisabled, false);
        }
        AddButton(SkinCloseButtonRect(), BmpCloseNormal, BmpClosePressed, BmpCloseHover, true);
        AddButton(SkinSaveButtonRect(), BmpSaveDisabled, BmpSavePressed, BmpSaveHover, false);
    }

    [[nodiscard]] bool Complete() const { return m_complete; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        (void)DrawCentered(&painter, 0, 0, SkinPanelSize, SkinPanelSize, &m_bitmaps.at(BmpBackground));
    }

private:
    void AddButton(const QRect& rect, int normal, int pressed, int hover, bool enabled) {
        auto* button = new CSkinButton(this);  // owned by the panel
        button->setGeometry(rect);
        button->UpdateRegions();
        button->SetFrameColor(Qt::white);
        button->setEnabled(enabled);
        m_complete = button->SetBitmaps(&m_bitmaps.at(normal), &m_bitmaps.at(pressed),
                                        &m_bitmaps.at(hover)) &&
                     m_complete;
        for (const int id : {normal, pressed, hover}) {
            m_complete = !m_bitmaps.at(id).isNull() && m_complete;
        }
    }

    std::map<int, QPixmap> m_bitmaps;
    bool m_complete = true;
};

}  // namespace

int main(int argc, char** argv) {
    // The panel is rendered, never shown: the offscreen platform gives the
    // same 640 x 640 picture on any machine, with or without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skin-preview OUT.png\n");
        return 2;
    }
    PreviewPanel panel;
    if (!panel.Complete()) {
        std::fprintf(stderr, "skin-preview: a skin bitmap is missing\n");
        return 1;
    }
    QPixmap shot = panel.grab();
    shot.setDevicePixelRatio(1.0);
    if (!shot.toImage().convertToFormat(QImage::Format_RGB32).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "skin-preview: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
