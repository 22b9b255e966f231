#pragma once

#include <QString>

struct DemoOptions
{
    QString path;
    int stockRows = 300;
    int sales = 600;
    unsigned seed = 2026;
};

struct DemoResult
{
    int stockRows = 0;
    int sales = 0;
    int returns = 0;
};

// Fills the database at options.path (creating the delivered database when the
// file is missing) with sample stock rows, sales and returns, written through
// the program's own store code so that every stock rule holds. All or nothing:
// a missing file appears only when complete, an existing one gets the whole
// fill in one transaction.
bool fillDemo(const DemoOptions& options, DemoResult* result, QString* error);
