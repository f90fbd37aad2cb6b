#include "FetchNews.h"

#include "CNewsDlg.h"
#include "NewsFetcher.h"
#include "app/framework/Prompts.h"
#include "app/framework/WaitCursor.h"

#include <QUrl>

#include <string_view>

namespace {

// The news file that the program's maker publishes.
constexpr char NEWS_URL[] = FORMTIDY_NEWS_URL;

// Every line of `body` in order, each followed by CR LF. A CR just before a
// LF belongs to the line end; a last line without a line end counts as well.
std::string newsText(std::string_view body)
{
    std::string text;
    text.reserve(body.size() + body.size() / 8 + 2);
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find('\n', start);
        std::size_t next = end + 1;
        if (end == std::string_view::npos) {
            end = next = body.size();
        } else if (end > start && body[end - 1] == '\r') {
            --end;
        }
        text.append(body.substr(start, end - start));
        text += "\r\n";
        start = next;
    }
    return text;
}

} // namespace

void FetchNews()
{
    FetchNews(QUrl(QString::fromLatin1(NEWS_URL)), NewsFetcher());
}

void FetchNews(const QUrl& url, const NewsFetcher& fetcher)
{
    // The dialog belongs to the window that asked for the news.
    CNewsDlg dlg(Prompts::dialogParent());
    {
        WaitCursor wait;
        if (const std::optional<std::string> body = fetcher.get(url))
            dlg.m_strNews = newsText(*body);
    }
    if (dlg.m_strNews.empty())
        Prompts::current().message(QStringLiteral("No connection can be established."));
    else
        dlg.DoModal();
}
