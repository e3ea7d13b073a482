#include "AppTestUtil.h"
#include "TestImages.h"

#include "app/ResultScrollArea.h"
#include "controls/ClickableImage.h"
#include "controls/HistoryComboBox.h"
#include "controls/ImageCheckBox.h"

#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

namespace {

// The bundled search service, started on a free loopback port for one test.
class ServiceProcess {
public:
    ServiceProcess() {
        m_process.setProgram(QStringLiteral(SORVEL_SERVICE_EXECUTABLE));
        m_process.setArguments({QStringLiteral("--port"), QStringLiteral("0")});
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        const QRegularExpression listening(QStringLiteral("listening on http://([0-9.]+:[0-9]+)/"));
        waitUntil([&] {
            m_output += m_process.readAllStandardOutput();
            const auto match = listening.match(QString::fromLatin1(m_output));
            if (match.hasMatch())
                m_host = match.captured(1);
            return !m_host.isEmpty() || m_process.state() == QProcess::NotRunning;
        });
    }
    ~ServiceProcess() {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }

    QString host() const { return m_host; }

private:
    QProcess m_process;
    QByteArray m_output;
    QString m_host;
};

class EndToEndTest : public ProgramFixture {};

} // namespace

TEST_F(EndToEndTest, SearchPagesAndOpensResultsFromTheBundledService) {
    ServiceProcess service;
    ASSERT_FALSE(service.host().isEmpty());
    serviceHost = service.host();
    writeFileBytes(dir.filePath(QStringLiteral("no_image.jpg")), jpegOf(QColor(0, 255, 0)));
    start();
    MainWindow& w = mainWindow();
    w.searchController().noImageFile = dir.filePath(QStringLiteral("no_image.jpg"));

    find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("猫"));
    QTest::keyClick(find<HistoryComboBox>("keywordBox"), Qt::Key_Return);
    const SearchController& client = w.searchController();
    ASSERT_TRUE(waitUntil([&] { return !client.isLoading(); }));

    ASSERT_GT(client.paging.totalResults, 20);
    ASSERT_EQ(client.results.size(), 20);
    EXPECT_TRUE(w.windowTitle().startsWith(
        QStringLiteral("ORVENA - Sorvel Browser -「猫」の動画検索結果 ")));
    EXPECT_TRUE(button("upperNextPageButton")->isEnabled());
    EXPECT_TRUE(messages.information.isEmpty());
    EXPECT_TRUE(messages.errors.isEmpty());
    for (int i = 0; i < 20; ++i) {
        const SearchResult& row = client.results[i];
        EXPECT_TRUE(row.title.contains(QStringLiteral("猫"))) << row.title.toStdString();
        EXPECT_TRUE(w.resultSlot(i).panel->isVisibleTo(&w));
        EXPECT_EQ(w.resultSlot(i).checkBox->caption(), row.title);
        EXPECT_TRUE(w.resultSlot(i).infoLabel->text().startsWith(u'[' + row.source + u']'));
        // Every thumbnail came from the service: none is the stand-in picture.
        const QImage picture = w.resultSlot(i).thumbnail->picture();
        EXPECT_FALSE(picture.isNull()) << i;
        EXPECT_FALSE(centreIs(picture, QColor(0, 255, 0))) << i;
    }

    // The next page continues the results; a click opens the video's page on the service.
    const QString firstTitle = client.results[0].title;
    button("lowerNextPageButton")->click();
    ASSERT_TRUE(waitUntil([&] { return !client.isLoading(); }));
    EXPECT_EQ(label("upperPageLabel")->text(),
              QStringLiteral("ページ 2/%1").arg(client.paging.pageCount));
    EXPECT_NE(client.results[0].title, firstTitle);
    QTest::mouseClick(w.resultSlot(0).thumbnail, Qt::LeftButton);
    EXPECT_TRUE(pane().navigations.back().startsWith(
        QStringLiteral("http://%1/watch/").arg(service.host())));
    EXPECT_EQ(pane().resultTitle(), client.results[0].title);
}
