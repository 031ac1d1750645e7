#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <QTreeView>

#include "platform/code_page.h"
#include "raster/raster_layers.h"
#include "raster/raster_list_view.h"
#include "raster/raster_tree_view.h"
#include "raster_view_fixture.h"
#include "support/qt_messages.h"
#include "support/temp_folder.h"

namespace {

class RasterListViewTest : public ::testing::Test, public RasterViewFixture {
protected:
    RasterListViewTest() {
        tree.SetRaster(&raster);
        tree.SetRasterListView(&list);
        list.SetViewStyle(vsReport);
        list.resize(300, 300);
        list.show();
        list.OnRasterSelectItem = [this](TRasterListView*, const std::vector<TRasterObject*>& objects) {
            reported = objects;
            ++reports;
        };
    }

    // Loads an image whose active layer holds objects of these names, in
    // this order, at (10 * i, 20 * i).
    void LoadObjects(const std::vector<QString>& names) {
        std::vector<unsigned char> bytes;
        int i = 0;
        for (const QString& name : names) {
            std::vector<unsigned char> record(620, 0);
            const std::string layer = platform::ToCodePage932(QStringLiteral("層"));
            std::copy(layer.begin(), layer.end(), record.begin());
            const std::string encoded = platform::ToCodePage932(name);
            std::copy(encoded.begin(), encoded.end(), record.begin() + ObjectRecord::kName);
            record[ObjectRecord::kX] = static_cast<unsigned char>(10 * i);
            record[ObjectRecord::kX + 4] = static_cast<unsigned char>(20 * i++);
            bytes.insert(bytes.end(), record.begin(), record.end());
        }
        folder.Write("photo.grx", bytes);
        ASSERT_TRUE(RasterViewFixture::Load(64, 64, "photo.ktest")) << messages.Texts().join("|").toStdString();
    }

    std::vector<QString> Rows() const {
        std::vector<QString> names;
        for (int row = 0; row < list.RowCount(); ++row)
            names.push_back(list.Model()->index(row, 0).data().toString());
        return names;
    }
    TRasterLayer* Layer() const { return raster.ActiveLayer(); }
    QPoint RowCentre(int row) const {
        return list.ReportView()->visualRect(list.Model()->index(row, 0)).center();
    }

    TRasterTreeView tree;
    TRasterListView list;
    std::vector<TRasterObject*> reported;
    int reports = 0;
};

using Names = std::vector<QString>;

TEST_F(RasterListViewTest, ShowsTheActiveLayersObjectsAndFollowsTheirChanges) {
    EXPECT_EQ(list.RowCount(), 0) << "no image, no active layer";
    LoadObjects({"b", "a", "c"});
    ASSERT_NE(Layer(), nullptr);
    EXPECT_EQ(raster.ListView(), &list);
    EXPECT_EQ(Rows(), (Names{"a", "b", "c"})) << "a refresh sorts by name";
    EXPECT_EQ(list.Model()->index(2, 1).data().toString(), QStringLiteral("20 / 40"));
    EXPECT_EQ(list.Model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("主項目"));

    auto added = std::make_unique<TRasterObject>(Layer());
    added->SetName(QStringLiteral("aa"));
    Layer()->AddObject(std::move(added));
    EXPECT_EQ(Rows(), (Names{"a", "aa", "b", "c"}));

    Layer()->Objects(2)->Delete();
    EXPECT_EQ(Rows(), (Names{"a", "aa", "c"}));

    Layer()->Objects(0)->SetX(123);
    raster.UpdateListView();
    EXPECT_EQ(list.Model()->index(0, 1).data().toString(), QStringLiteral("123 / 20"));

    raster.CloseImage();
    EXPECT_EQ(list.RowCount(), 0);
    tree.SetRasterListView(nullptr);
    EXPECT_EQ(raster.ListView(), nullptr);
    EXPECT_EQ(list.Raster(), nullptr);
}

TEST_F(RasterListViewTest, ColumnClicksToggleTheNameOrderKeepingTheSelection) {
    LoadObjects({"b", "a", "d", "c"});
    list.SetSelectedRows({0, 1, 2, 3});
    list.Header()->sectionClicked(1);
    EXPECT_EQ(Rows(), (Names{"d", "c", "b", "a"}));
    EXPECT_EQ(list.SortType(), TRasterHeaderCaption::hcSection);
    EXPECT_EQ(list.SortArray(), -1);
    EXPECT_EQ(list.Header()->sortIndicatorSection(), 1);
    EXPECT_EQ(list.Header()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(list.SelectedRows().size(), 4u) << "all rows stay selected";

    list.SetSelectedRows({0});  // "d"
    list.SetFocusedRow(1);      // "c"
    list.Header()->sectionClicked(1);
    EXPECT_EQ(Rows(), (Names{"a", "b", "c", "d"}));
    EXPECT_EQ(list.SelectedRows(), (std::vector<int>{3}));
    EXPECT_EQ(list.FocusedRow(), 2);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0]->Name(), QStringLiteral("d"));
}

TEST_F(RasterListViewTest, SelectionIsReportedInTheOrderOfSelecting) {
    LoadObjects({"a", "b", "c"});
    QTest::mouseClick(list.ReportView()->viewport(), Qt::LeftButton, {}, RowCentre(2));
    QTest::mouseClick(list.ReportView()->viewport(), Qt::LeftButton, Qt::ControlModifier, RowCentre(0));
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0]->Name(), QStringLiteral("c"));
    EXPECT_EQ(reported[1]->Name(), QStringLiteral("a"));

    list.BeginSelectUpdate();
    const int before = reports;
    list.SetSelectedRows({1});
    EXPECT_EQ(reports, before) << "held back while updating";
    list.EndSelectUpdate();
    EXPECT_EQ(reports, before + 1);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0]->Name(), QStringLiteral("b"));
}

TEST_F(RasterListViewTest, ActivatingARowMakesItsObjectActiveAndTheSelectToolFindsRows) {
    LoadObjects({"a", "b"});
    int activated = -1;
    list.OnRasterActiveItem = [&](TRasterListView*, int row) { activated = row; };
    QTest::mouseClick(list.ReportView()->viewport(), Qt::LeftButton, {}, RowCentre(1));
    QTest::mouseDClick(list.ReportView()->viewport(), Qt::LeftButton, {}, RowCentre(1));
    EXPECT_EQ(activated, 1);
    EXPECT_EQ(Layer()->ActiveObject(), Layer()->Objects(1));
    EXPECT_EQ(Layer()->Objects(1)->State(), 1);

    raster.ShowInListView(Layer()->Objects(0));
    EXPECT_EQ(list.SelectedRows(), (std::vector<int>{0}));
    EXPECT_EQ(list.FocusedRow(), 0);
}

TEST_F(RasterListViewTest, ColumnsStartWideEnoughForTheirCaptionsAndAbsurdSavedWidthsCountAsMissing) {
    LoadObjects({QStringLiteral("マーカー")});
    TempFolder iniFolder;
    QSettings settings(QString::fromStdString(iniFolder.File("k.ini")), QSettings::IniFormat);
    settings.setValue("RasterListView/ColumnsWidth0", 0);
    settings.setValue("RasterListView/ColumnsWidth1", 90'000);
    settings.setValue("RasterListView/ColumnsWidth2", 64);
    TRasterListView other;
    other.LoadColumnSettings(settings, QStringLiteral("RasterListView"));
    const QFontMetrics header = other.Header()->fontMetrics();
    const QFontMetrics cells = other.ReportView()->fontMetrics();
    for (const int column : {0, 1, 3}) {
        const QString caption = other.Model()->headerData(column, Qt::Horizontal).toString();
        EXPECT_GE(other.ColumnWidth(column), header.horizontalAdvance(caption) + 8) << column;
        EXPECT_GE(other.ColumnWidth(column), cells.horizontalAdvance(list.Model()->index(0, column).data().toString()))
            << column;
        EXPECT_LT(other.ColumnWidth(column), 400) << column;
    }
    EXPECT_EQ(other.ColumnWidth(2), 64);
}

TEST_F(RasterListViewTest, RenamingInPlaceRenamesTheObjectAndMarksTheViewModified) {
    const QtMessages qtMessages;
    LoadObjects({"a", "b"});
    raster.SetModified(false);
    list.EditRow(0);
    auto* editor = list.ReportView()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("z"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(Rows(), (Names{"b", "z"}));
    EXPECT_TRUE(raster.Modified());
    EXPECT_EQ(qtMessages.Containing(QStringLiteral("does not belong to this view")), QStringList());
}

TEST_F(RasterListViewTest, ColumnSettingsRoundTripThroughTheirOwnSection) {
    TempFolder iniFolder;
    const QString path = QString::fromStdString(iniFolder.File("k.ini"));
    {
        QSettings settings(path, QSettings::IniFormat);
        list.LoadColumnSettings(settings, QStringLiteral("RasterListView"));
        EXPECT_EQ(list.ViewStyle(), vsReport) << "report by default";
        EXPECT_EQ(list.SortType(), TRasterHeaderCaption::hcYear);
        EXPECT_EQ(list.ColumnWidth(3), list.TypicalColumnWidth(3));

        list.SetColumnOrder({2, 0, 1, 3});
        list.SetColumnWidth(0, 77);
        list.SetColumnWidth(2, 55);
        list.Header()->sectionClicked(3);
        list.SetViewStyle(vsList);
        list.SaveColumnSettings(settings, QStringLiteral("RasterListView"));
    }
    QSettings written(path, QSettings::IniFormat);
    EXPECT_EQ(written.value("RasterListView/Columns0").toInt(), 2);
    EXPECT_EQ(written.value("RasterListView/ColumnsWidth0").toInt(), 77);
    EXPECT_EQ(written.value("RasterListView/SortOrder3").toInt(), -1);
    EXPECT_FALSE(written.contains("RasterListView/SortOrder4"));

    TRasterListView other;
    other.LoadColumnSettings(written, QStringLiteral("RasterListView"));
    EXPECT_EQ(other.ColumnOrder(), (std::vector<int>{2, 0, 1, 3}));
    EXPECT_EQ(other.ColumnWidth(0), 77);
    EXPECT_EQ(other.ColumnWidth(2), 55);
    EXPECT_EQ(other.ViewStyle(), vsList);
    EXPECT_EQ(other.SortType(), TRasterHeaderCaption::hcArea);
    EXPECT_EQ(other.SortArray(), -1);
}

}  // namespace
