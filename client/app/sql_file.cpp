// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/sql_file.h"

#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

bool ExecSql(QSqlDatabase& db, const QString& sql, QString* error, int* code) {
    QSqlQuery query(db);
    if (query.exec(sql)) return true;
    if (error) *error = query.lastError().text();
    if (code) *code = query.lastError().nativeErrorCode().toInt() & 0xff;
    return false;
}

QString SetDatabaseAside(const QString& path, bool* moved) {
    const QString aside = path + QStringLiteral(".bad-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    *moved = QFile::rename(path, aside);
    for (const char* suffix : {"-wal", "-shm"})
        QFile::rename(path + QLatin1String(suffix), aside + QLatin1String(suffix));
    return aside;
}
