// The launcher window built by its own flows on the Qt host: where it stands on a 1920 x 1080
// screen, the start button's picture and the window icon after the build.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QWidget>

#include "support/recording_host.h"
#include "support/temp_folder.h"
#include "window/control_ids.h"
#include "window/plx_dlg.h"
#include "window/qt/qt_dialog_host.h"

namespace {

class WindowOnScreen : public WorkingFolderTest {};

TEST_F(WindowOnScreen, CentredWithTheStartButtonAtItsPlace) {
    m_work.Write("Orvin/orl.ini", "");
    QtDialogHost host;
    ASSERT_EQ(host.ScreenSize(), (Size{1920, 1080}));
    CPLXDlg dlg;
    ASSERT_TRUE(dlg.Create(host));
    EXPECT_EQ(host.Window()->geometry(), QRect(580, 326, 760, 429));
    EXPECT_EQ(host.ControlWidget(IDC_START)->geometry(), QRect(619, 358, 132, 66));
    EXPECT_FALSE(host.Window()->windowIcon().isNull());
    host.DestroyWindow();
    host.PumpEvents(0);
}

}  // namespace
