// The window in its design state, checked control by control against the layout table.
#include <QFontInfo>

#include <gtest/gtest.h>

#include "Fixture.h"

namespace droskal {
namespace {

const char* const kNoMap = "Brak mapy dla niżej wymienionych współrzędnych !";

// Every control the layout places: name, parent, geometry in pixels (from the layout's twips,
// 15 to a pixel), visible, enabled, and its text (nullptr: it has none).
const std::tuple<const char*, const char*, QRect, bool, bool, const char*> kControls[] = {
    {"Pic1", "Form1", {0, 0, 642, 242}, true, true, nullptr},
    {"fraCmd", "Form1", {0, 248, 641, 137}, true, true, nullptr},
    {"lblLon", "Form1", {208, 200, 337, 25}, true, true, "Lon: 52.3456°"},
    {"lblLat", "Form1", {208, 168, 337, 25}, true, true, "Lat: 52°"},
    {"lblnoMap", "Form1", {49, 128, 545, 17}, true, true, kNoMap},
    {"shPoint", "Pic1", {112, 176, 11, 11}, false, true, nullptr},
    {"chkGps", "fraCmd", {568, 0, 65, 17}, true, true, "GPS"},
    {"cmdUp", "fraCmd", {376, 104, 41, 22}, true, true, nullptr},
    {"cmdUpF", "fraCmd", {432, 104, 57, 22}, true, true, nullptr},
    {"cmdDownF", "fraCmd", {152, 104, 57, 22}, true, true, nullptr},
    {"cmdDown", "fraCmd", {224, 104, 41, 22}, true, true, nullptr},
    {"cmdStop", "fraCmd", {281, 104, 81, 22}, true, true, nullptr},
    {"cmdUpE", "fraCmd", {592, 104, 33, 22}, true, true, nullptr},
    {"cmdDownE", "fraCmd", {16, 104, 33, 22}, true, true, nullptr},
    {"cmdUpFFF", "fraCmd", {552, 104, 33, 22}, true, true, nullptr},
    {"cmdUpFF", "fraCmd", {512, 104, 33, 22}, true, true, nullptr},
    {"cmdDownFFF", "fraCmd", {56, 104, 33, 22}, true, true, nullptr},
    {"cmdDownFF", "fraCmd", {96, 104, 33, 22}, true, true, nullptr},
    {"cmdFile", "fraCmd", {16, 56, 57, 22}, true, true, nullptr},
    {"cmdBmp", "fraCmd", {568, 56, 57, 22}, true, true, nullptr},
    {"cmdSaveCut", "fraCmd", {496, 56, 57, 22}, true, false, nullptr},
    {"cmdCut", "fraCmd", {456, 56, 36, 22}, true, false, nullptr},
    {"lblSpeed", "fraCmd", {8, 0, 81, 17}, true, true, "123 km/h"},
    {"lblTime", "fraCmd", {237, 0, 169, 17}, true, true, "30.03.2006 22:34:16"},
    {"lblFile", "fraCmd", {80, 56, 369, 17}, true, true, "lblFile"},
    {"Shape4", "fraCmd", {0, 96, 641, 41}, true, true, nullptr},
    {"lblPlay", "fraCmd", {0, 40, 25, 17}, true, true, "0%"},
    {"shFile", "fraCmd", {8, 24, 625, 17}, true, true, nullptr},
    {"shPlay", "fraCmd", {8, 24, 97, 17}, true, true, nullptr},
    {"Shape3", "fraCmd", {0, 0, 641, 89}, true, true, nullptr},
};

// The window as constructed, before Form_Load.
class LayoutTest : public WindowTest {
  protected:
    void SetUp() override { form = std::make_unique<Form1>(desktop, StartupInfo{}); }
};

TEST_F(LayoutTest, EveryControlHasItsDesignState) {
    for (const auto& [name, parent, geometry, visible, enabled, text] : kControls) {
        SCOPED_TRACE(name);
        auto* widget = form->findChild<QWidget*>(name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), parent);
        EXPECT_EQ(widget->geometry(), geometry);
        EXPECT_EQ(widget->isVisibleTo(widget->parentWidget()), visible);
        EXPECT_EQ(widget->isEnabled(), enabled);
        EXPECT_EQ(widget->property("text").toString(), QString::fromUtf8(text ? text : ""));
    }
}

TEST_F(LayoutTest, WindowIsFixedWithItsColoursFontsAndStacking) {
    EXPECT_EQ(std::pair(form->minimumSize(), form->maximumSize()),
              std::pair(QSize(642, 387), QSize(642, 387)));
    EXPECT_FALSE(form->windowFlags() &
                 (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(form->windowIcon().isNull());
    // Background and text colours of an opaque label, a transparent one, and the shapes.
    EXPECT_EQ(form->lblSpeed->palette().color(QPalette::Window), QColor(0, 0, 0));
    EXPECT_EQ(form->lblSpeed->palette().color(QPalette::WindowText), QColor(0, 192, 0));
    EXPECT_TRUE(form->lblSpeed->autoFillBackground());
    EXPECT_FALSE(form->lblPlay->autoFillBackground());
    EXPECT_EQ(form->shPlay->fillColor(), QColor(192, 192, 0));
    EXPECT_FALSE(form->shFile->fillColor().isValid());
    EXPECT_EQ(form->shPoint->kind(), Shape::Kind::Circle);
    // The faces asked for are found as metric-compatible stand-ins, not whatever the system
    // falls back to.
    EXPECT_EQ(QFontInfo(form->lblTime->font()).family(), "Liberation Mono");
    EXPECT_DOUBLE_EQ(form->lblTime->font().pointSizeF(), 9.75);
    EXPECT_EQ(QFontInfo(form->lblFile->font()).family(), "TeX Gyre Pagella");
    EXPECT_TRUE(form->lblLat->font().bold());
    // Within a container, a control listed earlier lies above a later one; windowed
    // controls above drawings.
    auto stackIndex = [](QWidget* w) { return w->parentWidget()->children().indexOf(w); };
    EXPECT_GT(stackIndex(form->Shape4), stackIndex(form->shFile));
    EXPECT_GT(stackIndex(form->shFile), stackIndex(form->shPlay));
    EXPECT_GT(stackIndex(form->linCut1), stackIndex(form->linCut2));
    EXPECT_GT(stackIndex(form->cmdUp), stackIndex(form->lblSpeed));
    EXPECT_GT(stackIndex(form->chkGps), stackIndex(form->cmdUp));
    EXPECT_GT(stackIndex(form->Pic1), stackIndex(form->lblnoMap));
    EXPECT_GT(stackIndex(form->Pic1), stackIndex(form->fraCmd));
}

// Fill colours: blue normal, red active, mid grey unavailable; the mask is transparent.
TEST_F(LayoutTest, ImageLists) {
    ASSERT_EQ(form->imglPic.count(), 32);
    const std::pair<const char*, QColor> fills[] = {
        {"Stop", QColor(0, 0, 255)}, {"StopU", QColor(128, 128, 128)}, {"UpFA", QColor(255, 0, 0)}};
    for (const auto& [key, fill] : fills) {
        const QImage image = form->imglPic.byKey(key).toImage();
        EXPECT_EQ(image.size(), QSize(16, 16));
        EXPECT_EQ(image.pixelColor(8, 8), fill) << key;
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << key;
    }
    // A button shows the list's picture for its key.
    EXPECT_EQ(form->cmdUp->icon().pixmap(16, 16).toImage(),
              form->imglPic.byKey(form->cmdUp->pictureKey()).toImage());
    ASSERT_EQ(form->imglFlag.count(), 3);
    EXPECT_EQ(form->imglFlag.byIndex(3).size(), QSize(16, 14));
}

}  // namespace
}  // namespace droskal
