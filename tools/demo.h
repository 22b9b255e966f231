#pragma once

#include <QString>

#include <functional>

// Goes up whenever the shop fillDemo makes for the same options changes
// (other articles, another mix of sales, other figures), so that a shop kept
// from an earlier fill (the benches cache theirs) is known to be stale.
inline constexpr int kDemoVersion = 2;

struct DemoOptions
{
    QString path;
    int stockRows = 300;
    int sales = 600;
    unsigned seed = 2026;
    // Called now and then during a long fill (every 100,000 rows) and once at
    // the end, with the stock and sale rows handled so far and the count asked for.
    std::function<void(qint64 done, qint64 total)> progress;
};

struct DemoResult
{
    int stockRows = 0;
    int sales = 0;
    int returns = 0;
};

// Fills the database at options.path (creating the delivered database when the
// file is missing) with sample stock rows, sales and returns. Every stock row
// ends with the figures the program's own sale operation leaves after its
// sales and returns, and every sale row is the one it writes. All or nothing:
// a missing file appears only when complete, an existing one gets the whole
// fill in one transaction. The same options (seed included) on the same day
// give the same shop.
bool fillDemo(const DemoOptions& options, DemoResult* result, QString* error);
