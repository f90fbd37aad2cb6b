#pragma once

class NewsFetcher;
class QUrl;

// About > Check latest news, and the About box's News button: fetches the news
// file and shows it in the Latest News dialog, or says that no connection can
// be established.
void FetchNews();

// The same for the news file at `url`, fetched with `fetcher`'s limits.
void FetchNews(const QUrl& url, const NewsFetcher& fetcher);
