#include "AppTestUtil.h"
#include "TestImages.h"

#include "app/ResultScrollArea.h"
#include "controls/ImageCheckBox.h"
#include "controls/HistoryComboBox.h"
#include "controls/ClickableImage.h"

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
        WaitUntil([&] {
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
    WriteFileBytes(dir.filePath(QStringLiteral("no_image.jpg")), JpegOf(QColor(0, 255, 0)));
    Start();
    TMainForm1& w = Main();
    w.SearchClient().noImageFile = dir.filePath(QStringLiteral("no_image.jpg"));

    w.HistoryComboBox1->setEditText(QStringLiteral("猫"));
    QTest::keyClick(w.HistoryComboBox1, Qt::Key_Return);

    const SearchController& client = w.SearchClient();
    ASSERT_GT(client.paging.totalResults, 20);
    ASSERT_EQ(client.results.size(), 20);
    EXPECT_TRUE(w.windowTitle().startsWith(
        QStringLiteral("ORVENA - Sorvel Browser -「猫」の動画検索結果 ")));
    EXPECT_TRUE(w.SpeedButton2_3->isEnabled());
    EXPECT_TRUE(messages.information.isEmpty());
    EXPECT_TRUE(messages.errors.isEmpty());
    for (int i = 0; i < 20; ++i) {
        const SearchResult& row = client.results[i];
        EXPECT_TRUE(row.title.contains(QStringLiteral("猫"))) << row.title.toStdString();
        EXPECT_TRUE(w.SlotPanels[i]->isVisibleTo(&w));
        EXPECT_EQ(w.SlotCheckBoxes[i]->caption(), row.title);
        EXPECT_TRUE(w.SlotLabels[i]->text().startsWith(u'[' + row.source + u']'));
        // Every thumbnail came from the service: none is the stand-in picture.
        const QImage picture = w.SlotImages[i]->picture();
        EXPECT_FALSE(picture.isNull()) << i;
        EXPECT_FALSE(CentreIs(picture, QColor(0, 255, 0))) << i;
    }

    // The next page continues the results; a click opens the video's page on the service.
    const QString firstTitle = client.results[0].title;
    w.SpeedButton3_3->click();
    EXPECT_EQ(w.Label2_1->text(), QStringLiteral("ページ 2/%1").arg(client.paging.pageCount));
    EXPECT_NE(client.results[0].title, firstTitle);
    QTest::mouseClick(w.SlotImages[0], Qt::LeftButton);
    EXPECT_TRUE(Pane().navigations.back().startsWith(
        QStringLiteral("http://%1/watch/").arg(service.host())));
    EXPECT_EQ(Pane().resultTitle(), client.results[0].title);
}
