#pragma once

#include <QString>
#include <QStringList>

// What the site says about one article: read from its result block, from the
// article or intermediate page (the citation_* meta tags publishers write for
// scholarly indexes) and from the PDF once it arrived. A row of either list
// carries it from the result page to the reference manager.
//
// Every field is text as a page gave it (trimmed); empty means unknown.
struct ArticleRecord {
    enum class Access : int { Unknown = 0, Open = 1, NotOpen = 2 };

    QString title;
    QStringList authors; // in the article's order, each as the page wrote it
    QString journal;
    QString year;      // four digits
    QString date;      // as precise as known, ISO 8601 ("2024", "2024-03", "2024-03-15")
    QString volume;
    QString issue;
    QString firstPage;
    QString lastPage;
    QString articleType; // "Research article", "Review article", ...
    QString doi;         // bare, lower case ("10.1016/j.x.2024.01.001"), no resolver prefix
    QString pii;         // the site's article id, digits and letters only ("S0123456724000012")
    QString pdfUrl;      // the PDF address a page named, if any
    Access access = Access::Unknown;

    bool isEmpty() const {
        return title.isEmpty() && authors.isEmpty() && journal.isEmpty() && year.isEmpty() &&
               date.isEmpty() && volume.isEmpty() && issue.isEmpty() && firstPage.isEmpty() &&
               lastPage.isEmpty() && articleType.isEmpty() && doi.isEmpty() && pii.isEmpty() &&
               pdfUrl.isEmpty() && access == Access::Unknown;
    }

    // Takes from a later source what this record lacks; a value it has is
    // never replaced by another source's, and never by an empty one.
    void fillFrom(const ArticleRecord& later) {
        auto fill = [](QString& mine, const QString& theirs) {
            if (mine.isEmpty())
                mine = theirs;
        };
        fill(title, later.title);
        if (authors.isEmpty())
            authors = later.authors;
        fill(journal, later.journal);
        fill(year, later.year);
        // A fuller date from a later source is the better value.
        if (later.date.size() > date.size() && later.date.startsWith(date))
            date = later.date;
        fill(volume, later.volume);
        fill(issue, later.issue);
        fill(firstPage, later.firstPage);
        fill(lastPage, later.lastPage);
        fill(articleType, later.articleType);
        fill(doi, later.doi);
        fill(pii, later.pii);
        fill(pdfUrl, later.pdfUrl);
        if (access == Access::Unknown)
            access = later.access;
    }

    bool operator==(const ArticleRecord&) const = default;
};
