// Where the window goes on screens of several sizes and scale factors: the
// window runs in a process of its own for each, on the offscreen platform
// with the screen the case describes.
#include "tests/tools/ChildProcess.h"

#include <QRect>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

struct Shown {
    QRect frame;
    QRect available;
};

Shown ShowOn(const QTemporaryDir& folder, int width, int height, const char* scale)
{
    const std::string config = folder.filePath(QStringLiteral("screen.json")).toStdString();
    std::ofstream(config) << R"({"screens": [{"name": "probe", "x": 0, "y": 0, "width": )" << width
                          << R"(, "height": )" << height << R"(, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    const ProgramResult run = RunProgram(PLACE_PROBE, {},
                                         {"QT_QPA_PLATFORM=offscreen:configfile=" + config,
                                          std::string("QT_SCALE_FACTOR=") + scale, "QT_SCREEN_SCALE_FACTORS=",
                                          "QT_AUTO_SCREEN_SCALE_FACTOR=", "QT_ENABLE_HIGHDPI_SCALING="});
    EXPECT_EQ(run.status, 0) << run.output;
    Shown shown;
    std::istringstream lines(run.output);
    std::string word;
    int x = 0, y = 0, w = 0, h = 0;
    while (lines >> word) {
        if (word != "frame" && word != "available")
            continue;
        lines >> x >> y >> w >> h;
        (word == "frame" ? shown.frame : shown.available) = QRect(x, y, w, h);
    }
    EXPECT_FALSE(shown.frame.isEmpty()) << run.output;
    return shown;
}

} // namespace

TEST(WindowPlaceTest, TheWindowKeepsItsPlaceWhereItFitsAndIsMovedJustOntoTheScreenWhereNot)
{
    const QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const struct {
        int width, height;
        const char* scale;
    } cases[] = {{1280, 1024, "1"}, {1280, 1024, "1.5"}, {1280, 1024, "2"},
                 {1024, 768, "1"},  {1024, 768, "1.5"},  {1024, 768, "2"},
                 {800, 400, "1"}};
    for (const auto& screen : cases) {
        SCOPED_TRACE(std::to_string(screen.width) + "x" + std::to_string(screen.height) + " at " + screen.scale);
        const Shown shown = ShowOn(folder, screen.width, screen.height, screen.scale);
        const QRect& frame = shown.frame;
        const QRect& room = shown.available;
        const QRect wanted(QPoint(258, 144), frame.size());
        if (room.contains(wanted)) {
            EXPECT_EQ(frame.topLeft(), QPoint(258, 144));
            continue;
        }
        // Wholly on the screen where the window is not larger than it; and
        // along each axis at the fixed place, at the far edge, or at the
        // near edge when it does not fit at all.
        if (frame.width() <= room.width()) {
            EXPECT_GE(frame.left(), room.left());
            EXPECT_LE(frame.right(), room.right());
            EXPECT_TRUE(frame.left() == 258 || frame.right() == room.right()) << frame.left();
        } else {
            EXPECT_EQ(frame.left(), room.left());
        }
        if (frame.height() <= room.height()) {
            EXPECT_GE(frame.top(), room.top());
            EXPECT_LE(frame.bottom(), room.bottom());
            EXPECT_TRUE(frame.top() == 144 || frame.bottom() == room.bottom()) << frame.top();
        } else {
            EXPECT_EQ(frame.top(), room.top());
        }
    }
}
