#include "search/SearchController.h"

#include "net/HttpClient.h"
#include "platform/Convert.h"
#include "platform/Exception.h"
#include "platform/MessageService.h"
#include "search/AnswerExtraction.h"
#include "search/SearchView.h"

namespace {
const QString OfflineMessage = QStringLiteral("インターネットに接続されていません.");
const QString TimedOutMessage = QStringLiteral("%1 から時間内に応答がありません.");
const QString StatusMessage = QStringLiteral("%1 がエラー %2 を返しました.");
const QString CertificateMessage = QStringLiteral("%1 の証明書を確認できません (%2).");
const QString TlsMessage = QStringLiteral("%1 と安全な接続ができません (%2).");
const QString ProxyMessage = QStringLiteral("プロキシ %1 を経由して接続できません (%2).");
const QString UnreadableMessage = QStringLiteral("%1 の応答を読み取れません.");
const QString StoppedStatus = QStringLiteral("中止しました");

// The service answered with an HTTP error status.
class StatusError final : public Exception {
public:
    StatusError(int status, const QString& message)
        : Exception(message)
        , m_status(status) {}
    int status() const { return m_status; }

private:
    int m_status;
};

} // namespace

QByteArray SearchController::fetchAnswer(const QString& url) {
    m_http.timeout = answerTimeout;
    m_http.deadline = answerDeadline;
    m_http.get(requestBytes(url));
    if (m_http.replyNumber >= 400)
        throw StatusError(m_http.replyNumber,
                          QStringLiteral("HTTP status %1").arg(m_http.replyNumber));
    return m_http.body;
}

QString SearchController::answerHost() const {
    const QByteArray server = m_http.authority();
    return server.isEmpty() ? m_serviceHost : QString::fromLatin1(server);
}

// A failure the transport names gets its own message; any other keeps the message for no
// connection.
QString SearchController::failureMessage(const std::exception& e) const {
    if (const auto* status = dynamic_cast<const StatusError*>(&e))
        return StatusMessage.arg(answerHost()).arg(status->status());
    const auto* failure = dynamic_cast<const SocketError*>(&e);
    if (!failure)
        return OfflineMessage;
    switch (failure->failure()) {
    case TransferFailure::TimedOut:
        return TimedOutMessage.arg(answerHost());
    case TransferFailure::Certificate:
        return CertificateMessage.arg(answerHost(), failure->message());
    case TransferFailure::Tls:
        return TlsMessage.arg(answerHost(), failure->message());
    case TransferFailure::Proxy:
        return ProxyMessage.arg(QString::fromLatin1(m_http.proxyAuthority()), failure->message());
    case TransferFailure::Protocol:
        return UnreadableMessage.arg(answerHost());
    case TransferFailure::NoConnection:
    case TransferFailure::Canceled:
    case TransferFailure::Other:
        break;
    }
    return OfflineMessage;
}

void SearchController::continueLoad(const QString& url) {
    QByteArray body;
    try {
        body = fetchAnswer(url);
        // Stopped after the last byte came: the answer is not shown all the same.
        if (m_stopRequested || m_closed)
            throw SocketError(QStringLiteral("Stopped"), TransferFailure::Canceled);
    } catch (const std::exception& e) {
        m_phase = Phase::Idle;
        m_view.setStopEnabled(false);
        // A transfer the user stopped, or that ended because the window closes, is no failure
        // to report.
        if (m_stopRequested)
            m_view.setStatusText(0, StoppedStatus);
        else if (!m_closed)
            messageService().showInformation(failureMessage(e));
        m_view.setSearchControlsEnabled(true);
        return;
    }

    // Whatever goes wrong from here on ends the load with its message in the error box and the
    // search controls back, so that the user can always search again.
    try {
        m_view.resetResultColumn();
        try {
            readAnswer(body);
        } catch (const ConversionError&) {
            throw Exception(UnreadableMessage.arg(answerHost()));
        }
        showCaption();
        if (paging.totalResults < 1) {
            showEmptyPage();
            return;
        }
        showPageCount();
        results = extractResults(answerText);
        showResults();
    } catch (const std::exception& e) {
        m_phase = Phase::Idle;
        m_view.setStopEnabled(false);
        showApplicationError(exceptionMessage(e));
        m_view.setSearchControlsEnabled(true);
    }
}

void SearchController::stop() {
    if (m_phase == Phase::Answer) {
        // The wait for the answer ends with its cancel failure; continueLoad() does the rest.
        m_stopRequested = true;
        m_http.abort();
    } else if (m_phase == Phase::Pictures) {
        endPictures();
        m_view.setStatusText(0, StoppedStatus);
    }
}

void SearchController::stopLoading() {
    m_closed = true;
    if (m_phase == Phase::Answer) {
        m_http.abort();
    } else if (m_phase == Phase::Pictures) {
        m_phase = Phase::Idle;
        cancelThumbnails();
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
