// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the client's SQLite stores (the alarm history, the position history) do alike with their files.
// Called on the store's own writer thread, with that thread's connection.
#include <QString>

class QSqlDatabase;

// Runs one statement. False on failure, with the driver's text in *error and SQLite's primary result code
// (the low byte of the extended one) in *code, each when given.
bool ExecSql(QSqlDatabase& db, const QString& sql, QString* error = nullptr, int* code = nullptr);

// Moves a damaged database and its -wal and -shm files aside to PATH.bad-yyyyMMdd-HHmmss, so the next open
// starts a fresh one and nothing is deleted. The connection must be closed. Returns the new name; *moved
// says whether the database itself could be renamed (a journal that is missing is no failure).
QString SetDatabaseAside(const QString& path, bool* moved);
