#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWebEngineView>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/resources.h"
#include "window/control_ids.h"
#include "window/dialog_templates.h"
#include "window/qt/qt_dialog_host.h"

namespace {

struct WebEvent {
    bool navigated;  // true: navigation completed; false: document completed
    int id;
    uintptr_t browser;
    std::string url;
};

// What the host reports, in order, as short lines ("down 1 745 15", "command 1045 0").
class EventRecorder : public IDialogEvents {
public:
    void OnMouseMove(unsigned flags, int x, int y) override {
        Log("move", flags, x, y);
        if (onMove) onMove(flags);
    }
    void OnLButtonDown(unsigned flags, int x, int y) override { Log("down", flags, x, y); }
    void OnLButtonUp(unsigned flags, int x, int y) override { Log("up", flags, x, y); }
    void OnSetFocus() override { log.push_back("focus"); }
    void OnTimer(unsigned id) override {
        timers.push_back(id);
        if (onTimer) onTimer(id);
    }
    void OnCommand(int controlId, int notification) override {
        log.push_back("command " + std::to_string(controlId) + " " + std::to_string(notification));
    }
    void OnWebNavigateComplete(int controlId, uintptr_t browser, const std::string& url) override {
        web.push_back({true, controlId, browser, url});
    }
    void OnWebDocumentComplete(int controlId, uintptr_t browser, const std::string& url) override {
        web.push_back({false, controlId, browser, url});
    }
    int BackgroundBitmapId() override { return background; }

    bool Logged(const std::string& line) const {
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    std::vector<std::string> log;
    std::vector<unsigned> timers;
    std::vector<WebEvent> web;
    std::function<void(unsigned flags)> onMove;
    std::function<void(unsigned id)> onTimer;
    int background = IDB_BACKGROUND_ORVIN;

private:
    void Log(const char* what, unsigned flags, int x, int y) {
        log.push_back(std::string(what) + " " + std::to_string(flags) + " " + std::to_string(x) + " " +
                      std::to_string(y));
    }
};

QImage BitmapImage(int id) {
    std::span<const uint8_t> bytes = platform::BitmapResource(id);
    return QImage::fromData(bytes.data(), static_cast<int>(bytes.size()), "BMP");
}

// Runs action on the first round of the next event loop, inside a modal box's own loop when one is
// run next. The timer belongs to the test, so an action that never ran dies with it.
void WhenLoopRuns(QTimer& timer, std::function<void()> action) {
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, std::move(action));
    timer.start(0);
}

QRgb Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

class QtHostTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.CreateDialogWindow(IDD_ORL_DIALOG, &events)); }

    // Drains until done holds; false when it still does not after a generous bound.
    bool PumpUntil(const std::function<bool()>& done, int boundMs = 10000) {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!done()) {
            if (elapsed.elapsed() > boundMs) return false;
            host.PumpEvents(10);
        }
        return true;
    }

    // Lets every repaint that is due happen.
    void Settle() {
        for (int i = 0; i < 5; ++i) host.PumpEvents(20);
    }

    void ShowAt(int x, int y) {
        host.MoveWindow({x, y, 760, 429});
        host.ShowWindow();
        ASSERT_TRUE(PumpUntil([&] { return host.WindowPaintCount() > 0; }));
        Settle();
    }

    QWindow* Handle() { return host.Window()->windowHandle(); }

    QImage GrabWindow() { return host.Window()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    EventRecorder events;
    QtDialogHost host;
};

TEST_F(QtHostTest, EveryControlStandsAtItsTemplateRectangle) {
    const DialogTemplate* dialog = FindDialogTemplate(IDD_ORL_DIALOG);
    EXPECT_EQ(host.Window()->size(), QSize(760, 429));
    EXPECT_TRUE(host.Window()->windowFlags() & Qt::FramelessWindowHint);
    for (const ControlTemplate& control : dialog->controls) {
        SCOPED_TRACE(control.id);
        EXPECT_EQ(host.ControlRect(control.id), control.rect);
        QWidget* widget = host.ControlWidget(control.id);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->pos(), QPoint(control.rect.x, control.rect.y));
        EXPECT_EQ(widget->width(), control.rect.width);
        // A drop-down box's rectangle includes its open list; only the field stays on the window.
        if (control.kind == ControlKind::ComboBox) {
            EXPECT_EQ(widget->height(), 21);
        } else {
            EXPECT_EQ(widget->height(), control.rect.height);
        }
    }
    EXPECT_NE(qobject_cast<QWebEngineView*>(host.ControlWidget(IDC_EXPLORER_NOTICE)), nullptr);
    EXPECT_NE(qobject_cast<QComboBox*>(host.ControlWidget(IDC_SERVER)), nullptr);
    EXPECT_EQ(host.ControlText(IDC_PERCENT), "0%");
}

TEST_F(QtHostTest, PictureGivesImageControlItsSizeAndKeepsItsCorner) {
    host.SetControlImage(IDC_START, IDB_START);
    auto info = platform::BitmapResourceInfo(IDB_START);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 132);
    EXPECT_EQ(info->height, 66);
    EXPECT_EQ(host.ControlRect(IDC_START), (Rect{-200, -100, 132, 66}));
    EXPECT_EQ(host.ControlWidget(IDC_START)->geometry(), QRect(-200, -100, 132, 66));
}

TEST_F(QtHostTest, NoPictureLeavesTheControlSize) {
    host.MoveControl(IDC_START, {619, 358, 142, 50}, true);
    host.SetControlImage(IDC_START, 0);
    EXPECT_EQ(host.ControlRect(IDC_START), (Rect{619, 358, 142, 50}));
}

TEST_F(QtHostTest, WiderRectangleShowsThePictureScaled) {
    host.MoveControl(IDC_PROGRESS, {40, 378, 544, 15}, true);
    QImage bar = host.ControlWidget(IDC_PROGRESS)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage picture = BitmapImage(IDB_PROGRESS).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.size(), QSize(12, 12));
    ASSERT_EQ(bar.size(), QSize(544, 15));
    // The middle of each picture cell, wherever the scaled picture puts it.
    for (int px = 0; px < 12; ++px) {
        for (int py = 0; py < 12; ++py) {
            int x = static_cast<int>((px + 0.5) * 544 / 12);
            int y = static_cast<int>((py + 0.5) * 15 / 12);
            ASSERT_EQ(Rgb(bar, x, y), Rgb(picture, px, py)) << px << "," << py;
        }
    }
}

TEST_F(QtHostTest, SamePictureTextOrRectangleAgainDoesNotRepaint) {
    host.MoveControl(IDC_START, {619, 358, 142, 50}, true);
    host.SetControlImage(IDC_START, IDB_START);
    host.MoveControl(IDC_VERSION, {31, 353, 302, 20}, true);
    host.SetControlText(IDC_VERSION, "Version : 1.0.0.1 - Orvin");
    ShowAt(0, 0);
    const int startPaints = host.PaintCount(IDC_START);
    const int versionPaints = host.PaintCount(IDC_VERSION);
    ASSERT_GT(startPaints, 0);
    ASSERT_GT(versionPaints, 0);

    host.SetControlImage(IDC_START, IDB_START);
    host.SetControlText(IDC_VERSION, "Version : 1.0.0.1 - Orvin");
    host.MoveControl(IDC_VERSION, {31, 353, 302, 20}, true);
    Settle();
    EXPECT_EQ(host.PaintCount(IDC_START), startPaints);
    EXPECT_EQ(host.PaintCount(IDC_VERSION), versionPaints);

    host.SetControlImage(IDC_START, IDB_START_HOVER);
    host.SetControlText(IDC_VERSION, "Version : 1.0.0.2 - Orvin");
    Settle();
    EXPECT_GT(host.PaintCount(IDC_START), startPaints);
    EXPECT_GT(host.PaintCount(IDC_VERSION), versionPaints);
}

TEST_F(QtHostTest, PointerMovementAloneDoesNotRepaint) {
    host.MoveControl(IDC_START, {619, 358, 142, 50}, true);
    host.SetControlImage(IDC_START, IDB_START);
    ShowAt(0, 0);
    const int windowPaints = host.WindowPaintCount();
    const int startPaints = host.PaintCount(IDC_START);
    for (int x = 300; x <= 700; x += 40) QTest::mouseMove(Handle(), QPoint(x, 380));
    Settle();
    EXPECT_TRUE(events.Logged("move 0 660 380"));
    EXPECT_EQ(host.WindowPaintCount(), windowPaints);
    EXPECT_EQ(host.PaintCount(IDC_START), startPaints);
}

TEST_F(QtHostTest, PointerOverPicturesReachesTheWindowInWindowCoordinates) {
    ShowAt(0, 0);
    QTest::mouseMove(Handle(), QPoint(745, 15));
    events.log.clear();
    // The close picture lies under this point; it lets the pointer through.
    QTest::mousePress(Handle(), Qt::LeftButton, {}, QPoint(745, 15));
    QTest::mouseMove(Handle(), QPoint(746, 16));
    QTest::mouseRelease(Handle(), Qt::LeftButton, {}, QPoint(746, 16));
    std::vector<std::string> expected = {"down 1 745 15", "move 1 746 16", "up 0 746 16"};
    std::vector<std::string> pointer;
    for (const std::string& line : events.log) {
        if (line != "focus") pointer.push_back(line);
    }
    EXPECT_EQ(pointer, expected);
}

TEST_F(QtHostTest, BannerDotNotifiesItsClickInsteadOfThePointer) {
    host.MoveControl(IDC_DOT2, {198, 332, 13, 13}, true);
    host.SetControlImage(IDC_DOT2, IDB_DOT_ON);
    ShowAt(0, 0);
    QTest::mousePress(Handle(), Qt::LeftButton, {}, QPoint(204, 338));
    QTest::mouseRelease(Handle(), Qt::LeftButton, {}, QPoint(204, 338));
    EXPECT_TRUE(events.Logged("command " + std::to_string(IDC_DOT2) + " " + std::to_string(BN_CLICKED)));
    EXPECT_FALSE(events.Logged("down 1 204 338"));
}

TEST_F(QtHostTest, DragMovesTheWindowWithThePointerUntilRelease) {
    ShowAt(100, 50);
    events.onMove = [&](unsigned flags) {
        if ((flags & MK_LBUTTON) != 0) host.BeginWindowDrag();
    };
    QTest::mousePress(Handle(), Qt::LeftButton, {}, QPoint(300, 60));
    QTest::mouseMove(Handle(), QPoint(310, 60));
    ASSERT_TRUE(events.Logged("move 1 310 60"));
    // The window has not moved yet: these window coordinates are 30 and 20 pixels further on screen.
    QTest::mouseMove(Handle(), QPoint(340, 80));
    EXPECT_EQ(host.Window()->pos(), QPoint(130, 70));
    EXPECT_FALSE(events.Logged("move 1 340 80"));
    QTest::mouseRelease(Handle(), Qt::LeftButton, {}, QPoint(310, 60));
    EXPECT_FALSE(events.Logged("up 0 310 60"));

    events.onMove = nullptr;
    QTest::mouseMove(Handle(), QPoint(200, 100));
    EXPECT_EQ(host.Window()->pos(), QPoint(130, 70));
    EXPECT_TRUE(events.Logged("move 0 200 100"));
}

TEST_F(QtHostTest, ComboListIsWhiteOnItsColourAndFieldTakesTheControlColours) {
    host.ComboSetBackgroundColor(IDC_SERVER, 0x000000);
    host.SetControlColors(IDC_SERVER, 0xFFFFFF, 0x102030);
    auto* combo = static_cast<QComboBox*>(host.ControlWidget(IDC_SERVER));
    QPalette list = combo->view()->palette();
    EXPECT_EQ(list.color(QPalette::Base), QColor(0, 0, 0));
    EXPECT_EQ(list.color(QPalette::Text), QColor(255, 255, 255));
    EXPECT_EQ(combo->palette().color(QPalette::ButtonText), QColor(255, 255, 255));
    EXPECT_EQ(combo->palette().color(QPalette::Button), QColor(0x10, 0x20, 0x30));

    host.ComboAddString(IDC_SERVER, " Orvin");
    host.ComboAddString(IDC_SERVER, " Kessa");
    host.MoveControl(IDC_SERVER, {290, 399, 74, 150}, true);
    ShowAt(0, 0);
    combo->showPopup();
    Settle();
    QImage shown = combo->view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    combo->hidePopup();
    ASSERT_GT(shown.width(), 10);
    ASSERT_GT(shown.height(), 10);
    // Right of the rows' short texts, the list shows its own background.
    EXPECT_EQ(Rgb(shown, shown.width() - 4, shown.height() - 4), 0x000000u);
}

TEST_F(QtHostTest, PlayerPickingAComboRowNotifiesAndProgramSelectionDoesNot) {
    host.ComboAddString(IDC_SERVER, " Orvin");
    EXPECT_EQ(host.ComboInsertString(IDC_SERVER, -1, " Kessa"), 1);
    EXPECT_EQ(host.ComboInsertString(IDC_SERVER, 0, " Lirra"), 0);
    EXPECT_EQ(host.ComboItemText(IDC_SERVER, 2), " Kessa");
    EXPECT_EQ(host.ComboItemText(IDC_SERVER, 3), "");
    host.ComboSetCurSel(IDC_SERVER, 0);
    host.ComboSetCurSel(IDC_SERVER, 7);
    EXPECT_EQ(host.ComboGetCurSel(IDC_SERVER), -1);
    host.ComboSetCurSel(IDC_SERVER, 0);
    EXPECT_TRUE(events.log.empty());

    QTest::keyClick(host.ControlWidget(IDC_SERVER), Qt::Key_Down);
    EXPECT_EQ(host.ComboGetCurSel(IDC_SERVER), 1);
    EXPECT_TRUE(events.Logged("command " + std::to_string(IDC_SERVER) + " " + std::to_string(CBN_SELCHANGE)));
}

// A text set on a combo box shows in its field (the server list's "Server : " prefix) until the player
// picks another row.
TEST_F(QtHostTest, TextSetOnAComboShowsInItsFieldUntilAnotherRowIsPicked) {
    host.ComboAddString(IDC_SERVER, " Orvin");
    host.ComboAddString(IDC_SERVER, " Kessa");
    host.MoveControl(IDC_SERVER, {290, 399, 74, 150}, true);
    host.ComboSetCurSel(IDC_SERVER, 1);
    ShowAt(0, 0);
    Settle();
    QWidget* combo = host.ControlWidget(IDC_SERVER);
    QImage plain = combo->grab().toImage();
    host.SetControlText(IDC_SERVER, "Server :  Kessa");
    Settle();
    EXPECT_NE(combo->grab().toImage(), plain) << "the field shows the text";
    EXPECT_EQ(host.ControlText(IDC_SERVER), "Server :  Kessa");
    QTest::keyClick(combo, Qt::Key_Up);
    Settle();
    EXPECT_EQ(host.ControlText(IDC_SERVER), " Orvin");
}

TEST_F(QtHostTest, CheckBoxAndButtonClicksNotify) {
    host.SetCheck(IDC_WINDOW_MODE, 1);
    EXPECT_EQ(host.GetCheck(IDC_WINDOW_MODE), 1);
    EXPECT_TRUE(events.log.empty());
    static_cast<QCheckBox*>(host.ControlWidget(IDC_WINDOW_MODE))->click();
    EXPECT_EQ(host.GetCheck(IDC_WINDOW_MODE), 0);
    static_cast<QPushButton*>(host.ControlWidget(IDC_START_BUTTON))->click();
    std::vector<std::string> expected = {"command 1035 0", "command 1003 0"};
    EXPECT_EQ(events.log, expected);
}

TEST_F(QtHostTest, TextColoursAndTheTransparentVersionLine) {
    host.MoveControl(IDC_PERCENT, {40, 380, 26, 13}, true);
    host.SetControlText(IDC_PERCENT, "50%");
    host.SetControlColors(IDC_PERCENT, 0xFFFFFF, 0x2A2722);
    host.MoveControl(IDC_VERSION, {31, 353, 302, 20}, true);
    host.SetControlText(IDC_VERSION, "V");
    host.SetControlColors(IDC_VERSION, 0xFFFFFF, kTransparent);
    ShowAt(0, 0);
    QImage window = GrabWindow();
    QImage background = BitmapImage(IDB_BACKGROUND_ORVIN).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(Rgb(window, 40 + 25, 380 + 12), 0x2A2722u);
    EXPECT_EQ(Rgb(window, 31 + 300, 353 + 18), Rgb(background, 31 + 300, 353 + 18));
}

// The progress label's box is 6 pixels a character and 2 more: "100%" fits it whole, with the
// label's own colour left at its right edge.
TEST_F(QtHostTest, ProgressLabelShowsAllOfHundredPercentInItsBox) {
    host.MoveControl(IDC_PERCENT, {40, 380, 26, 13}, true);
    host.SetControlText(IDC_PERCENT, "100%");
    host.SetControlColors(IDC_PERCENT, 0xFFFFFF, 0x2A2722);
    ShowAt(0, 0);
    QImage window = GrabWindow();
    int rightmostInk = -1;
    for (int x = 0; x < 26; ++x)
        for (int y = 0; y < 13; ++y)
            if (Rgb(window, 40 + x, 380 + y) != 0x2A2722u) rightmostInk = std::max(rightmostInk, x);
    EXPECT_GT(rightmostInk, 12) << "the label shows its text";
    EXPECT_LT(rightmostInk, 25) << "nothing of the text is cut at the box's right edge";
}

TEST_F(QtHostTest, VersionFontIsTheKoreanSerifAndOtherFacesTheSans) {
    host.SetControlFont(IDC_VERSION, "궁서", 10);
    QFontInfo version(host.ControlWidget(IDC_VERSION)->font());
    EXPECT_EQ(version.family(), "Noto Serif CJK KR");
    EXPECT_EQ(version.pointSize(), 10);
    host.SetControlFont(IDC_PERCENT, "MS Sans Serif", 9);
    QFontInfo percent(host.ControlWidget(IDC_PERCENT)->font());
    EXPECT_EQ(percent.family(), QFontInfo(QApplication::font()).family());
    EXPECT_EQ(percent.pointSize(), 9);
}

TEST_F(QtHostTest, RedrawPaintsTheBackgroundTheWindowNamesNow) {
    ShowAt(0, 0);
    QImage orvin = BitmapImage(IDB_BACKGROUND_ORVIN).convertToFormat(QImage::Format_RGB32);
    QImage kessa = BitmapImage(IDB_BACKGROUND_KESSA).convertToFormat(QImage::Format_RGB32);
    // A point where the two backgrounds differ.
    QPoint at(-1, -1);
    for (int y = 0; y < 429 && at.x() < 0; y += 3) {
        for (int x = 0; x < 300; x += 3) {
            if (Rgb(orvin, x, y) != Rgb(kessa, x, y)) {
                at = QPoint(x, y);
                break;
            }
        }
    }
    ASSERT_GE(at.x(), 0);
    EXPECT_EQ(Rgb(GrabWindow(), at.x(), at.y()), Rgb(orvin, at.x(), at.y()));
    const int paints = host.WindowPaintCount();
    events.background = IDB_BACKGROUND_KESSA;
    host.RedrawWindow();
    EXPECT_GT(host.WindowPaintCount(), paints);
    EXPECT_EQ(Rgb(GrabWindow(), at.x(), at.y()), Rgb(kessa, at.x(), at.y()));
}

TEST_F(QtHostTest, MessageBoxHookAnswersWithoutShowingABox) {
    std::vector<std::string> asked;
    host.answerBoxes = [&](const std::string& text, const std::string& caption, unsigned flags) {
        asked.push_back(text + "|" + caption + "|" + std::to_string(flags));
        return QApplication::activeModalWidget() == nullptr ? IDCANCEL : IDOK;
    };
    EXPECT_EQ(host.MessageBox("Already Processing, Please Waiting", "orl", MB_OKCANCEL), IDCANCEL);
    std::vector<std::string> expected = {"Already Processing, Please Waiting|orl|1"};
    EXPECT_EQ(asked, expected);
}

struct BoxRow {
    const char* name;
    unsigned flags;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
    QMessageBox::StandardButton pressed;
    int answer;
};

const BoxRow kBoxRows[] = {
    {"PlainOk", MB_OK, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok, IDOK},
    {"StopIcon", MB_OK | MB_ICONSTOP, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok,
     QMessageBox::Ok, IDOK},
    {"ExclamationIcon", MB_OK | MB_ICONEXCLAMATION, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok,
     QMessageBox::Ok, IDOK},
    {"QuestionOkCancelConfirmed", MB_OKCANCEL | MB_ICONQUESTION, QMessageBox::Question,
     QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::Ok, IDOK},
    {"OkCancelCancelled", MB_OKCANCEL, QMessageBox::NoIcon, QMessageBox::Ok | QMessageBox::Cancel,
     QMessageBox::Ok, QMessageBox::Cancel, IDCANCEL},
    {"SecondButtonIsDefault", MB_OKCANCEL | MB_DEFBUTTON2, QMessageBox::NoIcon,
     QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Cancel, IDCANCEL},
};

class QtHostMessageBoxTest : public QtHostTest, public testing::WithParamInterface<BoxRow> {};

TEST_P(QtHostMessageBoxTest, ShowsCaptionIconAndButtonsAndAnswersWithThePressedOne) {
    const BoxRow& row = GetParam();
    QString seenCaption;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons seenButtons;
    QMessageBox::StandardButton seenDefault = QMessageBox::NoButton;
    QTimer whenShown;
    WhenLoopRuns(whenShown, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        seenCaption = box->windowTitle();
        seenIcon = box->icon();
        seenButtons = box->standardButtons();
        seenDefault = box->defaultButton() != nullptr ? box->standardButton(box->defaultButton())
                                                      : QMessageBox::NoButton;
        box->button(row.pressed)->click();
    });
    EXPECT_EQ(host.MessageBox("請重新運行程序", "orl", row.flags), row.answer);
    EXPECT_EQ(seenCaption, "orl");
    EXPECT_EQ(seenIcon, row.icon);
    EXPECT_EQ(seenButtons, row.buttons);
    EXPECT_EQ(seenDefault, row.defaultButton);
}

INSTANTIATE_TEST_SUITE_P(Rows, QtHostMessageBoxTest, testing::ValuesIn(kBoxRows),
                         [](const testing::TestParamInfo<BoxRow>& info) { return info.param.name; });

TEST_F(QtHostTest, TimersFireWithTheirIdsUntilKilled) {
    host.SetTimer(0, 25);
    host.SetTimer(1, 40);
    auto fired = [&](unsigned id) { return std::count(events.timers.begin(), events.timers.end(), id); };
    ASSERT_TRUE(PumpUntil([&] { return fired(0) >= 2 && fired(1) >= 2; }));
    host.KillTimer(0);
    const auto zeroTicks = fired(0);
    const auto oneTicks = fired(1);
    ASSERT_TRUE(PumpUntil([&] { return fired(1) >= oneTicks + 3; }));
    EXPECT_EQ(fired(0), zeroTicks);
    EXPECT_TRUE(std::all_of(events.timers.begin(), events.timers.end(), [](unsigned id) { return id <= 1; }));
}

TEST_F(QtHostTest, TimerKilledInItsOwnHandlerStops) {
    events.onTimer = [&](unsigned id) { host.KillTimer(id); };
    host.SetTimer(5, 10);
    ASSERT_TRUE(PumpUntil([&] { return !events.timers.empty(); }));
    // Twenty periods of a timer that still ran would tick it again.
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < 200) host.PumpEvents(10);
    EXPECT_EQ(events.timers, std::vector<unsigned>{5});
}

TEST_F(QtHostTest, ModalBoxEndedFromAnotherThreadBeforeItRunsReturnsAtOnce) {
    std::unique_ptr<IModalBox> box = host.CreateModalBox(IDD_INSTALLING);
    ASSERT_NE(box, nullptr);
    std::thread worker([&] { box->EndDialog(IDOK); });
    worker.join();
    bool shown = false;
    // Were the box shown, this would close it with another answer.
    QTimer whenShown;
    WhenLoopRuns(whenShown, [&] {
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            shown = true;
            open->done(99);
        }
    });
    EXPECT_EQ(host.RunModal(*box), IDOK);
    EXPECT_FALSE(shown);
}

TEST_F(QtHostTest, ModalBoxEndedFromAnotherThreadWhileShownCloses) {
    std::unique_ptr<IModalBox> box = host.CreateModalBox(IDD_INSTALLING);
    ASSERT_NE(box, nullptr);
    QSize shownSize;
    std::thread worker;
    QTimer whenShown;
    WhenLoopRuns(whenShown, [&] {
        if (QWidget* open = QApplication::activeModalWidget()) shownSize = open->size();
        worker = std::thread([&] { box->EndDialog(IDCANCEL); });
    });
    EXPECT_EQ(host.RunModal(*box), IDCANCEL);
    if (worker.joinable()) worker.join();
    EXPECT_EQ(shownSize, QSize(239, 112));
}

TEST_F(QtHostTest, ModalBoxEscapeCancelsAndEnterConfirms) {
    for (auto [key, answer] : {std::pair{Qt::Key_Escape, IDCANCEL}, std::pair{Qt::Key_Return, IDOK}}) {
        std::unique_ptr<IModalBox> box = host.CreateModalBox(IDD_INSTALLING);
        QTimer whenShown;
        WhenLoopRuns(whenShown, [key = key] {
            if (QWidget* open = QApplication::activeModalWidget()) QTest::keyClick(open, key);
        });
        EXPECT_EQ(host.RunModal(*box), answer);
    }
}

TEST_F(QtHostTest, DestroyingTheWindowEndsTheNextDrain) {
    ShowAt(0, 0);
    host.SetTimer(0, 5);
    EXPECT_TRUE(host.PumpEvents(0));
    host.DestroyWindow();
    EXPECT_FALSE(host.IsWindowAlive());
    EXPECT_EQ(host.Window(), nullptr);
    EXPECT_EQ(host.ControlWidget(IDC_START), nullptr);
    host.SetControlImage(IDC_START, IDB_START);
    const size_t ticks = events.timers.size();
    EXPECT_FALSE(host.PumpEvents(0));
    EXPECT_FALSE(host.PumpEvents(10));
    EXPECT_EQ(events.timers.size(), ticks);
}

TEST_F(QtHostTest, WindowStandsWhereItIsMovedWithItsRegion) {
    host.MoveWindow({580, 326, 760, 429});
    EXPECT_TRUE(host.SetWindowRegion(760, 429));
    EXPECT_FALSE(host.SetWindowRegion(0, 429));
    EXPECT_EQ(host.Window()->geometry(), QRect(580, 326, 760, 429));
    EXPECT_EQ(host.Window()->mask(), QRegion(0, 0, 760, 429));
    Size screen = host.ScreenSize();
    EXPECT_EQ(QSize(screen.width, screen.height), QGuiApplication::primaryScreen()->size());
}

TEST_F(QtHostTest, WebPanelReportsNavigationThenDocumentAndShowsOnlyItsRegion) {
    host.MoveControl(IDC_EXPLORER_NOTICE, {414, 146, 350, 205}, true);
    host.SetControlRegion(IDC_EXPLORER_NOTICE, {5, 2, 327, 181});
    host.SetControlZOrder(IDC_EXPLORER_NOTICE, ZOrder::Top);
    ShowAt(0, 0);
    const std::string page = "data:text/html,<body style='margin:0;background:rgb(255,0,0)'></body>";
    host.Navigate(IDC_EXPLORER_NOTICE, page);
    ASSERT_TRUE(PumpUntil([&] { return !events.web.empty() && !events.web.back().navigated; }));

    auto* view = static_cast<QWebEngineView*>(host.ControlWidget(IDC_EXPLORER_NOTICE));
    const uintptr_t browser = reinterpret_cast<uintptr_t>(view->page());
    ASSERT_GE(events.web.size(), 2u);
    EXPECT_TRUE(events.web.front().navigated);
    for (const WebEvent& event : events.web) {
        EXPECT_EQ(event.id, IDC_EXPLORER_NOTICE);
        EXPECT_EQ(event.browser, browser);
        EXPECT_EQ(event.url, view->page()->url().toString().toStdString());
    }

    // The first frame of a loaded page comes a little after the load.
    const QPoint inside(414 + 100, 146 + 100);
    ASSERT_TRUE(PumpUntil([&] { return Rgb(GrabWindow(), inside.x(), inside.y()) == 0xFF0000u; }));
    QImage background = BitmapImage(IDB_BACKGROUND_ORVIN).convertToFormat(QImage::Format_RGB32);
    const QPoint outside(414 + 340, 146 + 195);
    EXPECT_EQ(Rgb(GrabWindow(), outside.x(), outside.y()), Rgb(background, outside.x(), outside.y()));
}

TEST_F(QtHostTest, ShownWindowReportsItsFocus) {
    ShowAt(0, 0);
    host.Window()->activateWindow();
    EXPECT_TRUE(PumpUntil([&] { return events.Logged("focus"); }));
}

}  // namespace
