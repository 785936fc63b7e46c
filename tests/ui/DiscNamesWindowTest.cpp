// The main window naming the demo disc: its MusicBrainz lookup is answered by a
// loopback server (tests/names/LoopbackServer.h) with three releases, the choice
// dialog is driven as a user would, and "Disc names..." edits a title into the cache
// (XDG_CACHE_HOME is a fresh folder), from which a second window opens without the
// network.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <functional>

#include "LoopbackServer.h"
#include "cd/DiscIds.h"
#include "cdaccess/Drive.h"
#include "names/NamesCache.h"
#include "ui/DiscNamesDialog.h"
#include "ui/MainWindow.h"
#include "ui/ReleaseChoiceDialog.h"

namespace {

using ui::MainWindow;

QString RowTitle(const MainWindow& w, int row) {
    return w.findChild<QTreeWidget*>(QString::number(MainWindow::kTrackList))
        ->topLevelItem(row)
        ->text(1);
}

// Runs `act` on the next modal dialog of type T once it is showing.
template <typename T>
void WhenModal(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(d);
        }
    });
    timer->start(20);
}

void ClickOk(QDialog* d) {
    d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

// The demo disc's MusicBrainz disc id.
std::string DemoDiscId() {
    DriveListRecord list{};
    list.capacity = 8;
    GetCDList(&list);
    HandleRequest request{12, 1, 0, 0, 0, 0, 0, 1, 3};
    const std::uint32_t handle = GetCDHandle(&request);
    cd::TableOfContents toc;
    const bool read = cd::ReadTableOfContents(handle, toc);
    CloseCDHandle(handle);
    return read ? cd::MusicBrainzDiscId(toc) : std::string();
}

TEST(DiscNamesWindowTest, TheChosenReleaseNamesTheRowsAndAnEditIsKept) {
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    QTemporaryDir cache;
    ::setenv("XDG_CACHE_HOME", cache.path().toUtf8().constData(), 1);
    cdaccess::ClearAddedDrives();
    cdaccess::SetSystemDrivesListed(false);
    cdaccess::AddImage(std::string(TRACKMILL_DEMO_DIR) + "/demo.cue");
    const std::string discId = DemoDiscId();
    ASSERT_EQ(discId.size(), 28u);
    testnet::LoopbackServer server(
        {{200,
          testnet::RecordedAnswer("discid-releases.json").replace("@DISCID@", discId.c_str())}});
    ::setenv("TRACKMILL_MUSICBRAINZ_URL", server.BaseUrl().c_str(), 1);

    bool offered = false;
    WhenModal<ui::ReleaseChoiceDialog>([&](ui::ReleaseChoiceDialog* d) {
        offered = true;
        QTableWidget* t = d->Table();
        ASSERT_EQ(t->rowCount(), 3);
        // No release has the demo disc's six tracks: the first is preselected.
        EXPECT_EQ(d->Chosen(), 0);
        QStringList row;
        for (int c = 0; c < t->columnCount(); ++c) row << t->item(1, c)->text();
        EXPECT_EQ(row,
                  QStringList({"Harbour Lights (Deluxe)", "The Quay Singers", "2010-11-01", "US",
                               "Driftwood Records", "DW 014X", "CD (disc 2 of 2)", "3"}));
        t->selectRow(2);
        ClickOk(d);
    });
    {
        MainWindow w;
        // The window is there before the names: rows keep their names until they come.
        EXPECT_EQ(RowTitle(w, 0), "Track 1");
        ASSERT_TRUE(QTest::qWaitFor([&] { return RowTitle(w, 0) != "Track 1"; }, 15000));
        EXPECT_TRUE(offered);
        EXPECT_EQ(RowTitle(w, 0), "Lanterns on the Water");
        EXPECT_EQ(RowTitle(w, 2), QString::fromUtf8("Caf\u00e9 at Low Tide"));
        EXPECT_EQ(RowTitle(w, 3), "Track 4");
        EXPECT_EQ(RowTitle(w, 6), "Data Track");
        EXPECT_EQ(w.TrackAt(0).title, "01 - Lanterns on the Water");
        EXPECT_EQ(w.TrackAt(3).title, "Track 4");
        EXPECT_EQ(w.Names().musicBrainzReleaseId, "7d1e0b52-3a4c-4f6e-9b8d-ccccccccccc3");

        // "Disc names...": a title and the album artist changed, OK.
        WhenModal<ui::DiscNamesDialog>([](ui::DiscNamesDialog* d) {
            EXPECT_EQ(d->Tracks()->rowCount(), 6);
            EXPECT_EQ(d->Tracks()->item(1, 1)->text(), "The Quay Singers feat. Mara Lind");
            d->Tracks()->item(1, 0)->setText("Tidewalker (single edit)");
            d->findChild<QLineEdit*>("albumArtist")->setText("The Quay Singers & Friends");
            ClickOk(d);
        });
        w.PopupMenu()->findChild<QAction*>(QString::number(MainWindow::kMenuDiscNames))->trigger();
        EXPECT_EQ(RowTitle(w, 1), "Tidewalker (single edit)");
        EXPECT_EQ(w.Names().source, names::NamesSource::Edited);

        // "Look up again" offers the releases anew, the one chosen before preselected;
        // what it finds fills the fields, and Cancel keeps the names as they were.
        WhenModal<ui::DiscNamesDialog>([](ui::DiscNamesDialog* d) {
            WhenModal<ui::ReleaseChoiceDialog>([](ui::ReleaseChoiceDialog* c) {
                EXPECT_EQ(c->Chosen(), 2);
                c->Table()->selectRow(1);
                ClickOk(c);
            });
            d->LookUpButton()->click();
            EXPECT_TRUE(QTest::qWaitFor(
                [d] { return d->findChild<QLineEdit*>("album")->text().endsWith("(Deluxe)"); },
                15000));
            EXPECT_EQ(d->Tracks()->item(0, 0)->text(), "Lanterns on the Water (live)");
            d->reject();
        });
        w.PopupMenu()->findChild<QAction*>(QString::number(MainWindow::kMenuDiscNames))->trigger();
        EXPECT_EQ(RowTitle(w, 1), "Tidewalker (single edit)");
    }
    names::DiscNames kept;
    ASSERT_TRUE(names::LoadCachedNames(discId, kept));
    EXPECT_EQ(kept.source, names::NamesSource::Edited);
    EXPECT_EQ(kept.albumArtist, "The Quay Singers & Friends");
    EXPECT_EQ(kept.Track(2)->title, "Tidewalker (single edit)");
    EXPECT_EQ(kept.Track(2)->isrc, "GBAYE0300102");

    // The same disc opens again with its names and no request.
    const std::size_t asked = server.Requests().size();
    EXPECT_EQ(asked, 2u);
    {
        MainWindow w;
        ASSERT_TRUE(QTest::qWaitFor([&] { return RowTitle(w, 1) != "Track 2"; }, 5000));
        EXPECT_EQ(RowTitle(w, 1), "Tidewalker (single edit)");
    }
    EXPECT_EQ(server.Requests().size(), asked);
    ::setenv("TRACKMILL_MUSICBRAINZ_URL", "http://127.0.0.1:9", 1);
    qputenv("XDG_CACHE_HOME", oldCache);
    cdaccess::ClearAddedDrives();
}

}  // namespace
