#pragma once

#include <QJsonObject>
#include <QString>

#include <vector>

// The lines of a recording's index.jsonl, one object each; empty when the
// file is missing.
std::vector<QJsonObject> readRecordIndex(const QString &dir);
