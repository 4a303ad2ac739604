#include "recordindex.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

std::vector<QJsonObject> readRecordIndex(const QString &dir)
{
    std::vector<QJsonObject> lines;
    QFile f(QDir(dir).filePath(QStringLiteral("index.jsonl")));
    if (f.open(QIODevice::ReadOnly))
        while (!f.atEnd()) {
            const QByteArray line = f.readLine().trimmed();
            if (!line.isEmpty())
                lines.push_back(QJsonDocument::fromJson(line).object());
        }
    return lines;
}
