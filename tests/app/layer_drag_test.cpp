#include <memory>

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>

#include "main_form_fixture.h"
#include "platform/list_view.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_list_view.h"
#include "raster/raster_tree_view.h"

namespace {

// A drag with the mouse from the object list onto the layer tree of the
// real window. A drag runs only where a display server carries it, so
// these run on a virtual X display (the ctest entry starts one) and are
// skipped elsewhere.
class LayerDragTest : public MainFormTest {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "drags need an X display";
        WriteIni("[Kelvandor]\n" + PluginLine());
        Start();
        ASSERT_TRUE(form->OpenImage(TestImage("drag.ktest", "width=64 height=48")));
        layers = AddMarkedLayers();
        // The window keeps the layer page's tab out of sight; a program
        // that edits annotations brings the page forward.
        form->SideTabs()->setCurrentIndex(1);
        ASSERT_TRUE(form->RasterListView()->ShowObject(layers.marker));
    }

    void TearDown() override {
        if (form) Close();
    }

    // Notes whether a drag has come over a widget.
    class DragSeen : public QObject {
    public:
        bool seen = false;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::DragMove) seen = true;
            return false;
        }
    };

    // Presses at from, moves past the drag distance there, and once the
    // drag runs, moves to target's to and releases; returns when the drag
    // is over.
    static void Drag(QWidget* source, QPoint from, QWidget* target, QPoint to) {
        bool dragged = false;
        QTimer::singleShot(0, target, [target, to, &dragged] {
            dragged = true;
            // The drag's own loop runs now: the pointer travels in steps,
            // as a hand moves it, and lets go once the target felt it.
            DragSeen over;
            target->installEventFilter(&over);
            for (int step = 4; step >= 0; --step) {
                QTest::mouseMove(target, to + QPoint(step, step));
                ProcessEventsUntil([&] { return over.seen; }, std::chrono::seconds(2));
            }
            target->removeEventFilter(&over);
            QTest::mouseRelease(target, Qt::LeftButton, Qt::NoModifier, to);
        });
        QTest::mousePress(source, Qt::LeftButton, Qt::NoModifier, from);
        // The list begins its drag at the first move past the distance.
        const QPoint away = from + QPoint(0, 2 * QApplication::startDragDistance());
        QMouseEvent move(QEvent::MouseMove, away, source->mapToGlobal(away), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(source, &move);
        ASSERT_TRUE(dragged) << "no drag started";
    }

    MarkedLayers layers;
};

TEST_F(LayerDragTest, AnObjectDraggedFromTheListOntoALayerMovesThere) {
    QAbstractItemView* view = form->RasterListView()->CurrentView();
    TRasterTreeView* tree = form->RasterTreeView();
    Drag(view->viewport(), view->visualRect(form->RasterListView()->Model()->index(0, 0)).center(),
         tree->viewport(), tree->visualItemRect(LayerNode(layers.upper)).center());
    ASSERT_TRUE(ProcessEventsUntil([&] { return layers.upper->Count() == 1; }));
    EXPECT_EQ(layers.lower->Count(), 0);
    EXPECT_EQ(layers.upper->Objects(0)->Name(), "目印");
    EXPECT_TRUE(form->Raster()->Modified());
}

}  // namespace
