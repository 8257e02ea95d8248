// Times the export of a call list into a workbook: Orvik's workbook writer against
// libxlsxwriter writing the same cells, in the same run.
//
//   bench_export [rows] [rounds]      (defaults: 100000 rows, 3 rounds)
//
// Each side gets its input ready before the clock starts: the writer the cell texts as the
// result list holds them (it reads the types out of the texts itself), libxlsxwriter the values
// already typed (numbers, date parts, UTF-8 texts). The best round of each is reported.

#include "export/WorkbookTemplate.h"
#include "export/WorkbookWriter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Row = std::array<QString, 7>;

struct TypedRow
{
    double number;
    std::string name, type, phone;
    lxw_datetime start;
    std::string talk, remark;
};

const char *const kNames[] = {"张伟",     "王芳",   "李娜",          "刘洋",   "陈静", "Wang Lei",  "赵敏 (销售部)",
                              "Zhou Jie", "孙丽华", "Mehmet Yılmaz", "黄晓明", "",     "林 Office", "郑国强"};
const char *const kTypes[] = {"来电", "去电", "未接"};
const char *const kRemarks[] = {"",
                                "",
                                "",
                                "客户回访",
                                "投诉: 发票未收到",
                                "Order #A-1024 confirmed",
                                "请回电 13912345678",
                                "同事",
                                "=SUM(A1:A3)",
                                "送货地址变更，周五前处理"};

void MakeRows(int count, std::vector<Row> &rows, std::vector<TypedRow> &typed)
{
    std::mt19937 random(20091229);
    rows.resize(std::size_t(count));
    typed.resize(std::size_t(count));
    long long start = 1262073909; // 2009-12-29 08:05:09 UTC, then onwards
    for (int i = 0; i < count; ++i) {
        start += 30 + random() % 3600;
        const long long days = start / 86400, secs = start % 86400;
        // Civil date from days since 1970-01-01.
        const long long z = days + 719468, era = z / 146097, doe = z - era * 146097;
        const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
        const int day = int(doy - (153 * mp + 2) / 5 + 1), month = int(mp < 10 ? mp + 3 : mp - 9);
        const int year = int(yoe + era * 400 + (month <= 2));
        const int hour = int(secs / 3600), minute = int(secs / 60 % 60), second = int(secs % 60);
        const int talk = (random() % 4 == 0) ? 0 : int(random() % 900);

        std::string phone;
        if (random() % 3 == 0) {
            phone = "+86139" + std::to_string(10000000 + random() % 89999999);
        } else {
            phone = "0" + std::to_string(20 + random() % 79) + std::to_string(1000000 + random() % 8999999);
        }
        char when[32], talked[16];
        std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
        std::snprintf(talked, sizeof talked, "%02d:%02d", talk / 60, talk % 60);

        TypedRow &t = typed[std::size_t(i)];
        t.number = i + 1;
        t.name = kNames[random() % std::size(kNames)];
        t.type = kTypes[random() % std::size(kTypes)];
        t.phone = phone;
        t.start = lxw_datetime{year, month, day, hour, minute, double(second)};
        t.talk = talked;
        t.remark = kRemarks[random() % std::size(kRemarks)];

        Row &r = rows[std::size_t(i)];
        r[0] = QString::number(i + 1);
        r[1] = QString::fromUtf8(t.name);
        r[2] = QString::fromUtf8(t.type);
        r[3] = QLatin1Char('\'') + QString::fromStdString(t.phone);
        r[4] = QString::fromLatin1(when);
        r[5] = QLatin1Char('\'') + QString::fromLatin1(talked);
        r[6] = QString::fromUtf8(t.remark);
    }
}

const QStringList kHeaders = {QStringLiteral("序号"), QStringLiteral("用户名"),   QStringLiteral("类型"),
                              QStringLiteral("号码"), QStringLiteral("开始时间"), QStringLiteral("通话时长"),
                              QStringLiteral("备注")};

bool WriteOurs(const QString &templatePath, const QString &output, const std::vector<Row> &rows)
{
    WorkbookWriter writer;
    if (!writer.Open(templatePath, output) || !writer.AddRow(kHeaders))
        return std::fprintf(stderr, "%s\n", qPrintable(writer.ErrorText())), false;
    for (const Row &row : rows) {
        if (!writer.AddRow(row))
            return std::fprintf(stderr, "%s\n", qPrintable(writer.ErrorText())), false;
    }
    if (!writer.Finish())
        return std::fprintf(stderr, "%s\n", qPrintable(writer.ErrorText())), false;
    return true;
}

bool WriteLibxlsxwriter(const QString &output, const std::vector<TypedRow> &rows, bool constantMemory)
{
    lxw_workbook_options options = {};
    options.constant_memory = constantMemory ? LXW_TRUE : LXW_FALSE;
    lxw_workbook *workbook = workbook_new_opt(QFile::encodeName(output).constData(), &options);
    if (!workbook)
        return false;
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, "Sheet1");
    lxw_format *bold = workbook_add_format(workbook);
    format_set_bold(bold);
    lxw_format *date = workbook_add_format(workbook);
    format_set_num_format(date, "yyyy-mm-dd hh:mm:ss");
    // Texts marked as such ("@"), the nearest this libxlsxwriter has to Excel's quote prefix.
    lxw_format *text = workbook_add_format(workbook);
    format_set_num_format(text, "@");
    worksheet_set_column(sheet, 0, 16383, 14.6, nullptr);
    for (int c = 0; c < kHeaders.size(); ++c)
        worksheet_write_string(sheet, 0, lxw_col_t(c), kHeaders[c].toUtf8().constData(), bold);
    lxw_row_t r = 1;
    for (const TypedRow &row : rows) {
        worksheet_write_number(sheet, r, 0, row.number, nullptr);
        worksheet_write_string(sheet, r, 1, row.name.c_str(), nullptr);
        worksheet_write_string(sheet, r, 2, row.type.c_str(), nullptr);
        worksheet_write_string(sheet, r, 3, row.phone.c_str(), text);
        lxw_datetime when = row.start;
        worksheet_write_datetime(sheet, r, 4, &when, date);
        worksheet_write_string(sheet, r, 5, row.talk.c_str(), text);
        if (!row.remark.empty())
            worksheet_write_string(sheet, r, 6, row.remark.c_str(), nullptr);
        ++r;
    }
    return workbook_close(workbook) == LXW_NO_ERROR;
}

double Seconds(const std::function<bool()> &run)
{
    const auto begin = std::chrono::steady_clock::now();
    if (!run()) {
        std::fprintf(stderr, "a run failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

    QTemporaryDir dir;
    QString error;
    const QString templatePath = EnsureTemplateWorkbook(dir.path(), dir.path(), &error);
    if (templatePath.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::vector<Row> rows;
    std::vector<TypedRow> typed;
    MakeRows(count, rows, typed);

    const QString ours = dir.filePath(QStringLiteral("orvik.xlsx"));
    const QString theirs = dir.filePath(QStringLiteral("libxlsxwriter.xlsx"));
    const QString theirsConstant = dir.filePath(QStringLiteral("libxlsxwriter-constant.xlsx"));
    double bestOurs = 1e9, bestTheirs = 1e9, bestConstant = 1e9;
    for (int round = 0; round < rounds; ++round) {
        bestOurs = std::min(bestOurs, Seconds([&] { return WriteOurs(templatePath, ours, rows); }));
        bestTheirs = std::min(bestTheirs, Seconds([&] { return WriteLibxlsxwriter(theirs, typed, false); }));
        bestConstant = std::min(bestConstant, Seconds([&] { return WriteLibxlsxwriter(theirsConstant, typed, true); }));
    }

    std::printf("rows: %d, best of %d rounds\n", count, rounds);
    std::printf("  Orvik workbook writer          %7.3f s  %9lld bytes\n", bestOurs, QFileInfo(ours).size());
    std::printf("  libxlsxwriter                  %7.3f s  %9lld bytes\n", bestTheirs, QFileInfo(theirs).size());
    std::printf("  libxlsxwriter constant_memory  %7.3f s  %9lld bytes\n", bestConstant,
                QFileInfo(theirsConstant).size());
    std::printf("  ratio Orvik / libxlsxwriter: %.2f (target at most 1.50)\n", bestOurs / bestTheirs);
    std::printf("  ratio Orvik / libxlsxwriter constant_memory: %.2f\n", bestOurs / bestConstant);
    return 0;
}
