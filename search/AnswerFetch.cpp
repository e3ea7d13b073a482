#include "search/SearchController.h"

#include "net/HttpClient.h"
#include "platform/Convert.h"
#include "platform/Exception.h"
#include "platform/MessageService.h"
#include "search/AnswerExtraction.h"
#include "search/SearchView.h"

namespace {
const QString OfflineMessage = QStringLiteral("インターネットに接続されていません.");
// A minute for any one wait, and a minute for the whole answer: a server that trickles its
// answer holds the page no longer than a silent one.
constexpr int AnswerTimeOut = 60000;
constexpr int AnswerDeadline = 60000;
} // namespace

QByteArray TSearchClient::FetchAnswer(const QString& url) {
    m_http.timeout = AnswerTimeOut;
    m_http.deadline = AnswerDeadline;
    m_http.bodyToFile = false;
    m_http.dataFromFile = false;
    m_http.reportLevel = 2;
    m_http.get(RequestBytes(url));
    return m_http.body;
}

void TSearchClient::ContinueLoad(const QString& url) {
    QByteArray body;
    try {
        body = FetchAnswer(url);
    } catch (...) {
        // A transfer aborted because the window closes is no failure to report.
        if (!m_stopped)
            messageService().showInformation(OfflineMessage);
        m_view.SetSearchControlsEnabled(true);
        return;
    }

    // Whatever goes wrong from here on ends the load with its message in the error box and the
    // search controls back, so that the user can always search again.
    try {
        m_view.ResetResultColumn();
        ReadAnswer(body);
        ShowCaption();
        if (PagingState.TotalResults < 1) {
            ShowEmptyPage();
            return;
        }
        ShowPageCount();
        ResultTable = ExtractResults(AnswerText);
        ShowResults();
    } catch (const std::exception& e) {
        showApplicationError(exceptionMessage(e));
        m_view.SetSearchControlsEnabled(true);
    }
}

QStringList TSearchClient::AnswerLines() const {
    return SplitAnswerLines(AnswerText);
}

void TSearchClient::ReadAnswer(const QByteArray& body) {
    AnswerText = NormalizeAnswer(body);
    const int total = parseInt(ExtractTotal(AnswerText));
    TotalCapped = total > MaxTotalResults;
    PagingState.TotalResults = TotalCapped ? MaxTotalResults : total;
}
