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

QByteArray SearchController::fetchAnswer(const QString& url) {
    m_http.timeout = AnswerTimeOut;
    m_http.deadline = AnswerDeadline;
    m_http.bodyToFile = false;
    m_http.dataFromFile = false;
    m_http.reportLevel = 2;
    m_http.get(requestBytes(url));
    return m_http.body;
}

void SearchController::continueLoad(const QString& url) {
    QByteArray body;
    try {
        body = fetchAnswer(url);
    } catch (...) {
        // A transfer aborted because the window closes is no failure to report.
        if (!m_stopped)
            messageService().showInformation(OfflineMessage);
        m_view.setSearchControlsEnabled(true);
        return;
    }

    // Whatever goes wrong from here on ends the load with its message in the error box and the
    // search controls back, so that the user can always search again.
    try {
        m_view.resetResultColumn();
        readAnswer(body);
        showCaption();
        if (paging.totalResults < 1) {
            showEmptyPage();
            return;
        }
        showPageCount();
        results = extractResults(answerText);
        showResults();
    } catch (const std::exception& e) {
        showApplicationError(exceptionMessage(e));
        m_view.setSearchControlsEnabled(true);
    }
}

QStringList SearchController::answerLines() const {
    return splitAnswerLines(answerText);
}

void SearchController::readAnswer(const QByteArray& body) {
    answerText = normalizeAnswer(body);
    const int total = parseInt(extractTotal(answerText));
    totalCapped = total > MaxTotalResults;
    paging.totalResults = totalCapped ? MaxTotalResults : total;
}
