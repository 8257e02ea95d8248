#include "db/sql/SqlError.h"
#include "db/sql/SqlStatement.h"

#include <QtTest>

using namespace sql;

class TestSqlParser : public QObject
{
    Q_OBJECT

private slots:
    void acceptsWhatTheQueryWindowBuilds_data();
    void acceptsWhatTheQueryWindowBuilds();
    void statementParts();
    void refusals_data();
    void refusals();
    void dateLiterals_data();
    void dateLiterals();
    void binding();
};

void TestSqlParser::acceptsWhatTheQueryWindowBuilds_data()
{
    QTest::addColumn<QString>("sql");
    QTest::newRow("no filter") << "select * from Record  order by record_time_start";
    QTest::newRow("number and direction")
        << "select * from Record where fsk LIKE '%138%' and call_direction = 0 order by record_time_start";
    QTest::newRow("everything")
        << "select * from Record where name LIKE '%Li%' and context LIKE '%vip%' and talked_time = 0 and "
           "call_direction = 0 and record_time_start >= #2009-12-1 0:0:0# and record_time_start <= "
           "#2009-12-29 23:59:59# order by record_time_start";
    QTest::newRow("empty user")
        << "select * from Record where name LIKE '%%' and call_direction = 1 order by record_time_start";
    QTest::newRow("doubled apostrophe")
        << "select * from Record where name LIKE '%O''Brien%' order by record_time_start";
    QTest::newRow("delete") << "delete from record where id = 42";
    QTest::newRow("delete negative id") << "delete from record where id = -3";
    QTest::newRow("keywords in any case, semicolon") << "SELECT * FROM [record] WHERE ID<>1 OR NOT (fsk IS NULL);";
}

void TestSqlParser::acceptsWhatTheQueryWindowBuilds()
{
    QFETCH(QString, sql);
    Statement st;
    SqlError error;
    QVERIFY2(parse(sql, &st, &error), qPrintable(error.message));
}

void TestSqlParser::statementParts()
{
    Statement st;
    SqlError error;
    QVERIFY(
        parse("select * from Record where name LIKE '%O''Brien%' order by record_time_start DESC, id", &st, &error));
    QCOMPARE(st.kind, Statement::Kind::Select);
    QCOMPARE(st.table, QStringLiteral("Record"));
    QVERIFY(st.where);
    QCOMPARE(st.where->kind(), Expression::Kind::Like);
    QCOMPARE(st.where->left()->name(), QStringLiteral("name"));
    QVERIFY(st.where->pattern().matches(QStringLiteral("Mr O'Brien")));
    QCOMPARE(st.orderBy.size(), size_t(2));
    QVERIFY(st.orderBy[0].descending);
    QVERIFY(!st.orderBy[1].descending);

    QVERIFY(parse("delete * from record where id = -3", &st, &error));
    QCOMPARE(st.kind, Statement::Kind::Delete);
    QCOMPARE(st.where->kind(), Expression::Kind::Compare);
    QCOMPARE(st.where->right()->value().number, -3.0);

    // AND binds tighter than OR.
    QVERIFY(parse("select * from t where a = 1 or b = 2 and c = 3", &st, &error));
    QCOMPARE(st.where->kind(), Expression::Kind::Or);
    QCOMPARE(st.where->right()->kind(), Expression::Kind::And);
}

void TestSqlParser::refusals_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    QTest::addColumn<quint32>("hresult");
    const quint32 syntax = 0x80040E14u;
    QTest::newRow("apostrophe ends the pattern")
        << "select * from Record where fsk LIKE '%O'Brien%' order by record_time_start"
        // The stray quote opens a string that swallows the rest, ORDER BY included.
        << "Syntax error (missing operator) in query expression 'fsk LIKE '%O'Brien%' order by record_time_start'."
        << syntax;
    QTest::newRow("apostrophe at the end")
        << "select * from Record where name LIKE '%O'Brien%'"
        << "Syntax error (missing operator) in query expression 'name LIKE '%O'Brien%''." << syntax;
    QTest::newRow("unterminated string") << "select * from Record where fsk LIKE '%138"
                                         << "Syntax error in string in query expression 'fsk LIKE '%138'." << syntax;
    QTest::newRow("invalid date parts")
        << "select * from Record where record_time_start >= #-1--1--1 0:0:0# order by record_time_start"
        << "Syntax error in date in query expression 'record_time_start >= #-1--1--1 0:0:0#'." << syntax;
    QTest::newRow("impossible day")
        << "select * from Record where record_time_start >= #2009-2-30 0:0:0#"
        << "Syntax error in date in query expression 'record_time_start >= #2009-2-30 0:0:0#'." << syntax;
    QTest::newRow("unknown verb")
        << "frobnicate record"
        << "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'." << syntax;
    QTest::newRow("empty") << ""
                           << "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'."
                           << syntax;
    QTest::newRow("update") << "update record set name = 'x'"
                            << "Operation must use an updateable query." << 0x80004005u;
    QTest::newRow("drop") << "drop table record"
                          << "Operation must use an updateable query." << 0x80004005u;
    QTest::newRow("column list")
        << "select id from record"
        << "The SELECT statement includes a reserved word or an argument name that is misspelled or missing, or "
           "the punctuation is incorrect."
        << syntax;
    QTest::newRow("no table") << "select * from"
                              << "Syntax error in FROM clause." << syntax;
    QTest::newRow("join") << "select * from a, b"
                          << "Syntax error in FROM clause." << syntax;
    QTest::newRow("second statement") << "select * from record; delete from record where id = 1"
                                      << "Characters found after end of SQL statement." << syntax;
    QTest::newRow("order by nothing") << "select * from record order by"
                                      << "Syntax error in ORDER BY clause." << syntax;
    QTest::newRow("dangling and") << "select * from record where id = 1 and"
                                  << "Syntax error (missing operator) in query expression 'id = 1 and'." << syntax;
    QTest::newRow("bad pattern") << "select * from record where fsk like '[12'"
                                 << "Invalid pattern string." << 0x80004005u;
    QTest::newRow("deep nesting") << "select * from r where " + QString(500, u'(') + "id = 1" + QString(500, u')')
                                  << QString() << syntax;
}

void TestSqlParser::refusals()
{
    QFETCH(QString, sql);
    QFETCH(QString, message);
    QFETCH(quint32, hresult);
    Statement st;
    SqlError error;
    QVERIFY(!parse(sql, &st, &error));
    if (!message.isEmpty())
        QCOMPARE(error.message, message);
    QCOMPARE(error.hresult, hresult);
}

void TestSqlParser::dateLiterals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("days");
    QTest::newRow("first of December 2009") << "2009-12-1 0:0:0" << 40148.0;
    QTest::newRow("last second of March 2011") << "2011-3-31 23:59:59" << 40633.0 + 86399.0 / 86400.0;
    QTest::newRow("date only, leading zeros") << "2009-12-01" << 40148.0;
    QTest::newRow("US order") << "12/1/2009" << 40148.0;
    QTest::newRow("epoch") << "1899-12-30 0:0:0" << 0.0;
    QTest::newRow("before the epoch keeps the time forward") << "1899-12-29 6:0:0" << -1.25;
}

void TestSqlParser::dateLiterals()
{
    QFETCH(QString, text);
    QFETCH(double, days);
    double parsed = -99;
    QVERIFY(parseDateLiteral(text, &parsed));
    QCOMPARE(parsed, days);
}

void TestSqlParser::binding()
{
    const std::vector<ColumnInfo> columns = {{"id", SqlType::Number},
                                             {"fsk", SqlType::Text},
                                             {"record_time_start", SqlType::Date},
                                             {"blob", SqlType::Binary}};
    auto bindError = [&](const QString &sql) {
        Statement st;
        SqlError error;
        if (!parse(sql, &st, &error))
            return QStringLiteral("parse: ") + error.message;
        return st.bind(columns, &error) ? QString() : error.message;
    };
    QCOMPARE(bindError("select * from r where FSK like '%1%' and ID > 3 order by Record_Time_Start"), QString());
    QCOMPARE(bindError("select * from r where record_time_start >= 40148"), QString());
    QCOMPARE(bindError("select * from r where nosuch = 1"),
             QStringLiteral("No value given for one or more required parameters."));
    QCOMPARE(bindError("select * from r order by nosuch"),
             QStringLiteral("No value given for one or more required parameters."));
    QCOMPARE(bindError("select * from r where id = 'abc'"),
             QStringLiteral("Data type mismatch in criteria expression."));
    QCOMPARE(bindError("select * from r where fsk = 5"), QStringLiteral("Data type mismatch in criteria expression."));
    QCOMPARE(bindError("select * from r where blob like 'a'"),
             QStringLiteral("Data type mismatch in criteria expression."));
    QCOMPARE(bindError("select * from r where fsk and id = 1"),
             QStringLiteral("Data type mismatch in criteria expression."));
    QCOMPARE(bindError("select * from r where fsk = NULL"), QString());

    Statement st;
    SqlError error;
    QVERIFY(parse("select * from r where fsk like '%1%' and id > 3 order by record_time_start", &st, &error));
    QVERIFY(st.bind(columns, &error));
    std::vector<int> used = st.referencedColumns();
    std::sort(used.begin(), used.end());
    QCOMPARE(used, (std::vector<int>{0, 1, 2}));
}

QTEST_GUILESS_MAIN(TestSqlParser)
#include "tst_sqlparser.moc"
