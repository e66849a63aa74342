// The window in its design state, checked control by control against the layout table.
#include <QFontInfo>

#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "app/Form1.h"

namespace droskal {
namespace {

struct Expected {
    const char* name;
    const char* parent;
    int x, y, w, h;  // pixels, from the twips of the layout (15 twips a pixel)
    bool visible;
    bool enabled;
    const char* text;  // nullptr when the control has no text
};

// Geometry in pixels of every control that the layout places.
const Expected kControls[] = {
    {"Pic1", "Form1", 0, 0, 642, 242, true, true, nullptr},
    {"fraCmd", "Form1", 0, 248, 641, 137, true, true, nullptr},
    {"lblLon", "Form1", 208, 200, 337, 25, true, true, "Lon: 52.3456°"},
    {"lblLat", "Form1", 208, 168, 337, 25, true, true, "Lat: 52°"},
    {"lblnoMap", "Form1", 49, 128, 545, 17, true, true,
     "Brak mapy dla niżej wymienionych współrzędnych !"},
    {"shPoint", "Pic1", 112, 176, 11, 11, false, true, nullptr},
    {"chkGps", "fraCmd", 568, 0, 65, 17, true, true, "GPS"},
    {"cmdUp", "fraCmd", 376, 104, 41, 22, true, true, nullptr},
    {"cmdUpF", "fraCmd", 432, 104, 57, 22, true, true, nullptr},
    {"cmdDownF", "fraCmd", 152, 104, 57, 22, true, true, nullptr},
    {"cmdDown", "fraCmd", 224, 104, 41, 22, true, true, nullptr},
    {"cmdStop", "fraCmd", 281, 104, 81, 22, true, true, nullptr},
    {"cmdUpE", "fraCmd", 592, 104, 33, 22, true, true, nullptr},
    {"cmdDownE", "fraCmd", 16, 104, 33, 22, true, true, nullptr},
    {"cmdUpFFF", "fraCmd", 552, 104, 33, 22, true, true, nullptr},
    {"cmdUpFF", "fraCmd", 512, 104, 33, 22, true, true, nullptr},
    {"cmdDownFFF", "fraCmd", 56, 104, 33, 22, true, true, nullptr},
    {"cmdDownFF", "fraCmd", 96, 104, 33, 22, true, true, nullptr},
    {"cmdFile", "fraCmd", 16, 56, 57, 22, true, true, nullptr},
    {"cmdBmp", "fraCmd", 568, 56, 57, 22, true, true, nullptr},
    {"cmdSaveCut", "fraCmd", 496, 56, 57, 22, true, false, nullptr},
    {"cmdCut", "fraCmd", 456, 56, 36, 22, true, false, nullptr},
    {"lblSpeed", "fraCmd", 8, 0, 81, 17, true, true, "123 km/h"},
    {"lblTime", "fraCmd", 237, 0, 169, 17, true, true, "30.03.2006 22:34:16"},
    {"lblFile", "fraCmd", 80, 56, 369, 17, true, true, "lblFile"},
    {"Shape4", "fraCmd", 0, 96, 641, 41, true, true, nullptr},
    {"lblPlay", "fraCmd", 0, 40, 25, 17, true, true, "0%"},
    {"shFile", "fraCmd", 8, 24, 625, 17, true, true, nullptr},
    {"shPlay", "fraCmd", 8, 24, 97, 17, true, true, nullptr},
    {"Shape3", "fraCmd", 0, 0, 641, 89, true, true, nullptr},
};

class LayoutTest : public ::testing::Test {
protected:
    FakeDesktop desktop;
    Form1 form{desktop, StartupInfo{}};
};

QString TextOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* box = qobject_cast<QCheckBox*>(widget)) return box->text();
    return QString();
}

TEST_F(LayoutTest, EveryControlHasItsDesignState) {
    for (const Expected& e : kControls) {
        SCOPED_TRACE(e.name);
        auto* widget = form.findChild<QWidget*>(e.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), e.parent);
        EXPECT_EQ(widget->geometry(), QRect(e.x, e.y, e.w, e.h));
        EXPECT_EQ(widget->isVisibleTo(widget->parentWidget()), e.visible);
        EXPECT_EQ(widget->isEnabled(), e.enabled);
        if (e.text) {
            EXPECT_EQ(TextOf(widget), QString::fromUtf8(e.text));
        }
    }
}

TEST_F(LayoutTest, WindowIsFixedTitledAndGrey) {
    EXPECT_EQ(form.windowTitle(), "Droskal  2.0");
    EXPECT_EQ(form.size(), QSize(642, 387));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(128, 128, 128));
    EXPECT_FALSE(form.windowIcon().isNull());
}

TEST_F(LayoutTest, FontsAskForTheGivenFacesAndFindSubstitutes) {
    struct FontCase {
        QWidget* widget;
        const char* family;
        double points;
        bool bold;
    };
    const FontCase cases[] = {
        {form.lblLon, "Courier New", 15.75, true},   {form.lblLat, "Courier New", 15.75, true},
        {form.lblnoMap, "Courier New", 12, true},    {form.chkGps, "Courier New", 9.75, false},
        {form.lblSpeed, "Courier New", 9.75, false}, {form.lblTime, "Courier New", 9.75, false},
        {form.lblFile, "Book Antiqua", 8.25, false}, {form.lblPlay, "Book Antiqua", 8.25, false},
    };
    for (const FontCase& c : cases) {
        SCOPED_TRACE(c.widget->objectName().toStdString());
        EXPECT_EQ(c.widget->font().family(), c.family);
        EXPECT_DOUBLE_EQ(c.widget->font().pointSizeF(), c.points);
        EXPECT_EQ(c.widget->font().bold(), c.bold);
    }
    // The stand-ins are metric-compatible faces, not whatever the system falls back to.
    EXPECT_EQ(QFontInfo(form.lblTime->font()).family(), "Liberation Mono");
    EXPECT_EQ(QFontInfo(form.lblFile->font()).family(), "TeX Gyre Pagella");
}

TEST_F(LayoutTest, ColoursOfLabelsAndShapes) {
    EXPECT_EQ(form.lblSpeed->palette().color(QPalette::Window), QColor(0, 0, 0));
    EXPECT_EQ(form.lblSpeed->palette().color(QPalette::WindowText), QColor(0, 192, 0));
    EXPECT_TRUE(form.lblSpeed->autoFillBackground());
    EXPECT_FALSE(form.lblPlay->autoFillBackground());  // transparent
    EXPECT_EQ(form.lblPlay->palette().color(QPalette::WindowText), QColor(192, 192, 0));
    EXPECT_EQ(form.lblFile->palette().color(QPalette::Window), QColor(64, 64, 64));
    EXPECT_EQ(form.lblLat->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    EXPECT_EQ(form.lblnoMap->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(form.shPlay->fillColor(), QColor(192, 192, 0));
    EXPECT_FALSE(form.shFile->fillColor().isValid());
    EXPECT_EQ(form.shPoint->fillColor(), QColor(255, 0, 0));
    EXPECT_EQ(form.shPoint->kind(), Shape::Kind::Circle);
    EXPECT_EQ(form.Pic1->image().pixelColor(5, 5), QColor(64, 64, 64));
}

TEST_F(LayoutTest, StackingWithinEachContainer) {
    // Within a container, a control listed earlier lies above a later one; windowed
    // controls above drawings.
    auto stackIndex = [](QWidget* w) { return w->parentWidget()->children().indexOf(w); };
    EXPECT_GT(stackIndex(form.Shape4), stackIndex(form.shFile));
    EXPECT_GT(stackIndex(form.shFile), stackIndex(form.shPlay));
    EXPECT_GT(stackIndex(form.linCut1), stackIndex(form.linCut2));
    EXPECT_GT(stackIndex(form.cmdUp), stackIndex(form.lblSpeed));
    EXPECT_GT(stackIndex(form.chkGps), stackIndex(form.cmdUp));
    EXPECT_GT(stackIndex(form.Pic1), stackIndex(form.lblnoMap));
    EXPECT_GT(stackIndex(form.Pic1), stackIndex(form.fraCmd));
}

TEST_F(LayoutTest, TabOrderFollowsTabIndexes) {
    QList<QWidget*> order;
    QWidget* w = form.cmdCut;
    for (int i = 0; i < 16; ++i) {
        order.append(w);
        w = w->nextInFocusChain();
    }
    int previous = -1;
    for (QWidget* widget : order) {
        const int tab = widget->property("TabIndex").toInt();
        EXPECT_GT(tab, previous) << widget->objectName().toStdString();
        previous = tab;
    }
    EXPECT_EQ(order.last(), form.chkGps);
}

TEST_F(LayoutTest, ImageListsHoldTheirPictures) {
    ASSERT_EQ(form.imglPic.count(), 32);
    EXPECT_EQ(form.imglPic.keys().first(), "DownE");
    EXPECT_EQ(form.imglPic.keys().last(), "UpEU");
    // Fill colours: blue normal, red active, mid grey unavailable; the mask is transparent.
    struct ColourCase {
        const char* key;
        QColor fill;
    };
    const ColourCase cases[] = {{"Stop", QColor(0, 0, 255)},
                                {"StopU", QColor(128, 128, 128)},
                                {"UpFA", QColor(255, 0, 0)}};
    for (const ColourCase& c : cases) {
        const QImage image = form.imglPic.byKey(c.key).toImage();
        EXPECT_EQ(image.size(), QSize(16, 16));
        EXPECT_EQ(image.pixelColor(8, 8), c.fill) << c.key;
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << c.key;
    }
    ASSERT_EQ(form.imglFlag.count(), 3);
    EXPECT_EQ(form.imglFlag.byIndex(1).size(), QSize(16, 13));
    EXPECT_EQ(form.imglFlag.byIndex(3).size(), QSize(16, 14));
    EXPECT_EQ(form.cmdFile->iconSize(), QSize(46, 16));
    EXPECT_EQ(form.cmdBmp->iconSize(), QSize(38, 16));
    EXPECT_EQ(form.cmdSaveCut->iconSize(), QSize(48, 16));
    EXPECT_EQ(form.cmdCut->iconSize(), QSize(16, 13));
}

TEST_F(LayoutTest, ToolTipsInPolish) {
    EXPECT_EQ(form.cmdFile->toolTip(), "Wczytanie nowego pliku w formacie MPEG-1");
    EXPECT_EQ(form.cmdBmp->toolTip(), "Zapis wybranego obrazka w formacie BMP");
    EXPECT_EQ(form.cmdSaveCut->toolTip(), "Zapis zaznaczonego fragmentu w formacie MPEG-1");
    EXPECT_EQ(form.cmdCut->toolTip(),
              "Zaznaczenie początku i końca sekwecji przeznaczonej do zapisu");
}

}  // namespace
}  // namespace droskal
