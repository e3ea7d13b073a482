#include "search/SearchClient.h"

#include "platform/Exception.h"
#include "platform/MessageService.h"
#include "search/SearchView.h"

namespace {
const QString OfflineMessage = QStringLiteral("インターネットに接続されていません.");
}

QByteArray TSearchClient::FetchAnswer(const QString&)
{
    throw Exception(QStringLiteral("The HTTP client is not built yet"));
}

void TSearchClient::ContinueLoad(const QString& url)
{
    try {
        FetchAnswer(url);
    } catch (...) {
        Messages().Information(OfflineMessage);
        m_view.SetSearchControlsEnabled(true);
        return;
    }
    m_view.ResetResultColumn();
}
