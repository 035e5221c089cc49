#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "BoxWatcher.h"
#include "controls/MessageBox.h"
#include "controls/SkinButton.h"
#include "controls/SlotLabel.h"
#include "res/StringTable.h"

namespace {

enum class Report { DragEntered, DragLeft, Dropped };

struct Received {
    Report type;
    int index;
    bool hasPath;
    QString path;
};

// The main window's stand-in: records every report of its controls, in
// order, with the boxes shown in between.
class SlotWindow : public QWidget {
public:
    std::vector<Received> messages;
    std::vector<int> boxes;
    int boxesBeforeDrop = -1;
    SkinButton* hoverOffOnDrop = nullptr;

    template <typename Control>
    void Watch(Control* control) {
        QObject::connect(control, &Control::FileDragEntered, this, [this](int slot) {
            messages.push_back({Report::DragEntered, slot, false, {}});
        });
        QObject::connect(control, &Control::FileDragLeft, this, [this](int slot) {
            messages.push_back({Report::DragLeft, slot, false, {}});
        });
        QObject::connect(control, &Control::FileDropped, this,
                         [this](int slot, const QString& path) {
                             messages.push_back({Report::Dropped, slot, true, path});
                             boxesBeforeDrop = static_cast<int>(boxes.size());
                             if (hoverOffOnDrop) {
                                 hoverOffOnDrop->SetHover(false);
                             }
                         });
    }
};

class DropTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(300, 100);
        label = new SlotLabel(&window);  // owned by window
        label->setGeometry(10, 10, 200, 19);
        button = new SkinButton(&window);
        button->setGeometry(220, 10, 25, 25);
        button->UpdateRegions();  // as the owner does after placing it
        label->SetIndex(5);
        button->SetIndex(5);
        ASSERT_TRUE(label->Register(label));
        ASSERT_TRUE(button->Register(button));
        window.Watch(label);
        window.Watch(button);
    }

    static std::unique_ptr<QMimeData> Files(const QStringList& paths) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const QString& p : paths) {
            urls.append(QUrl::fromLocalFile(p));
        }
        data->setUrls(urls);
        return data;
    }

    // Enter, move, then drop at point; returns whether the drop was taken.
    bool DragAndDrop(QWidget* target, const QMimeData* data, QPoint point = {5, 5}) {
        QDragEnterEvent enter(point, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
        QDragMoveEvent move(point, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &move);
        EXPECT_TRUE(move.isAccepted());
        QDropEvent drop(QPointF(point), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &drop);
        return drop.isAccepted();
    }

    testsupport::BoxWatcher boxes{[this](const MessageRequest& r, int) {
        window.boxes.push_back(r.stringId);
        EXPECT_EQ(r.text, QStringLiteral("Multiple files are selected."));
        EXPECT_EQ(r.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        return QMessageBox::Ok;
    }};
    SlotWindow window;
    SlotLabel* label = nullptr;
    SkinButton* button = nullptr;
};

}  // namespace

TEST_F(DropTargetTest, OneFileDeliversItsFullPath) {
    const QString longPath =
        QStringLiteral("/tmp/") + QString(300, QLatin1Char('a')) + QStringLiteral("/voice.wav");
    const auto data = Files({longPath});
    EXPECT_TRUE(DragAndDrop(label, data.get()));
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].type, Report::DragEntered);
    EXPECT_EQ(window.messages[0].index, 5);
    EXPECT_FALSE(window.messages[0].hasPath);
    EXPECT_EQ(window.messages[1].type, Report::Dropped);
    EXPECT_EQ(window.messages[1].index, 5);
    EXPECT_EQ(window.messages[1].path, longPath);
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(DropTargetTest, AnythingButOneLocalFileShowsTheBoxThenSendsAnEmptyPath) {
    std::vector<std::unique_ptr<QMimeData>> drops;
    drops.push_back(Files({QStringLiteral("/tmp/a.wav"), QStringLiteral("/tmp/b.wav")}));
    drops.push_back(std::make_unique<QMimeData>());
    drops.back()->setText(QStringLiteral("just text"));
    drops.push_back(std::make_unique<QMimeData>());
    drops.back()->setUrls({QUrl(QStringLiteral("https://example.org/voice.wav"))});
    drops.push_back(std::make_unique<QMimeData>());  // carries nothing at all
    for (const auto& data : drops) {
        window.messages.clear();
        window.boxes.clear();
        EXPECT_TRUE(DragAndDrop(button, data.get()));
        ASSERT_EQ(window.messages.size(), 2u);
        EXPECT_EQ(window.messages[1].type, Report::Dropped);
        EXPECT_TRUE(window.messages[1].hasPath);
        EXPECT_TRUE(window.messages[1].path.isEmpty());
        EXPECT_EQ(window.boxes, std::vector<int>{IdsMultipleFiles});
        EXPECT_EQ(window.boxesBeforeDrop, 1) << "the box comes before the drop message";
    }
}

TEST_F(DropTargetTest, CancelledDragGivesExactlyOneEnterAndOneLeave) {
    const auto data = Files({QStringLiteral("/tmp/a.wav")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(label, &enter);
    for (int i = 0; i < 3; ++i) {
        QDragMoveEvent move(QPoint(6 + i, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
        QCoreApplication::sendEvent(label, &move);
    }
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(label, &leave);
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].type, Report::DragEntered);
    EXPECT_EQ(window.messages[1].type, Report::DragLeft);
    EXPECT_EQ(window.messages[1].index, 5);
}

TEST_F(DropTargetTest, ButtonShowsHoverAfterTheParentHandledADropInsideIt) {
    window.hoverOffOnDrop = button;
    const auto data = Files({QStringLiteral("/tmp/a.wav")});
    EXPECT_TRUE(DragAndDrop(button, data.get(), QPoint(12, 12)));
    EXPECT_TRUE(button->IsHoverSet());
    button->SetHover(false);
    EXPECT_TRUE(DragAndDrop(button, data.get(), QPoint(40, 12)));  // outside its rectangle
    EXPECT_FALSE(button->IsHoverSet());
}

TEST_F(DropTargetTest, UnregisteredOrOrphanControlsSendNothing) {
    SlotLabel loose(&window);
    window.Watch(&loose);
    const auto data = Files({QStringLiteral("/tmp/a.wav")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(&loose, &enter);
    EXPECT_FALSE(enter.isAccepted());

    SlotLabel orphan;
    window.Watch(&orphan);
    ASSERT_TRUE(orphan.Register(&orphan));
    QDragEnterEvent enter2(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(&orphan, &enter2);
    EXPECT_TRUE(enter2.isAccepted()) << "enter still reports the drop action";
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(&orphan, &drop);
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_TRUE(window.messages.empty());
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_FALSE(label->Register(nullptr));
}

TEST(DropAction, CopyIsPreferredSoTheSourceNeverDeletesTheFile) {
    EXPECT_EQ(FileDropTarget::ChooseDropAction(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction),
              Qt::CopyAction);
    EXPECT_EQ(FileDropTarget::ChooseDropAction(Qt::LinkAction, Qt::LinkAction), Qt::LinkAction);
}

TEST(MessageHook, RealBoxesAreAnsweredWithTheirTextAndIcon) {
    std::vector<MessageRequest> seen;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    {
        testsupport::BoxWatcher outer([&](const MessageRequest& r, int) {
            seen.push_back(r);
            return answer;
        });
        EXPECT_EQ(ShowMessage(nullptr, IdsReplaceFile, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::Question),
                  QMessageBox::Yes);
        {
            answer = QMessageBox::No;
            EXPECT_EQ(ShowMessage(nullptr, IdsReplaceFile, QMessageBox::Yes | QMessageBox::No),
                      QMessageBox::No);
            answer = QMessageBox::Yes;
        }
        // A box without the button asked for: its own button is pressed.
        EXPECT_EQ(ShowMessage(nullptr, IdsLoadError), QMessageBox::Ok);
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].text,
              QStringLiteral("File already exists. Do you really want to replace it?"));
    EXPECT_EQ(seen[0].icon, QMessageBox::Question);
    EXPECT_EQ(seen[2].stringId, IdsLoadError);
}
