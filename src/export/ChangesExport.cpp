#include "export/ChangesExport.h"

#include <array>
#include <memory>

#include "common/SafeFile.h"
#include "common/UiServices.h"
#include "export/ExportEnd.h"
#include "export/FileInfo.h"
#include "export/LineOutput.h"
#include "export/PromptSaveFile.h"

namespace folvane {

namespace {

constexpr const char *kColumns[] = {"Path", "Status", "Size then", "Size now", "Change"};

std::string signedText(__int128 change)
{
    const bool negative = change < 0;
    unsigned __int128 magnitude = negative ? (unsigned __int128)(-change) : (unsigned __int128)change;
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude > 0);
    return negative ? "-" + digits : digits;
}

// The five values of a row, as written.
std::array<std::string, 5> rowValues(const TChange &c, const TNodeTree &then, const TNodeTree &now)
{
    return {ChangePath(then, now, c), ChangeStatus(c), std::to_string(c.sizeThen), std::to_string(c.sizeNow),
            signedText(c.Change())};
}

void writeCsv(LineOutput &out, const TComparison &comparison, const TNodeTree &then, const TNodeTree &now)
{
    std::string quoted;
    auto put = [&](std::string_view value) {
        if (CsvQuoted(value, ",", quoted))
            out.Verbatim(quoted);
        else
            out.Text(value);
    };
    for (std::size_t i = 0; i < std::size(kColumns); ++i) {
        put(kColumns[i]);
        out.Text(i + 1 < std::size(kColumns) ? "," : "\n");
    }
    for (const TChange &c : comparison.changes) {
        const auto values = rowValues(c, then, now);
        for (std::size_t i = 0; i < values.size(); ++i) {
            put(values[i]);
            out.Text(i + 1 < values.size() ? "," : "\n");
        }
        out.FlushIfLarge();
    }
}

void writePage(LineOutput &out, const TComparison &comparison, const TNodeTree &then, const TNodeTree &now,
               const std::string &title)
{
    std::string scratch;
    auto escaped = [&](std::string_view text) {
        scratch.clear();
        AppendHtmlEscaped(scratch, text);
        out.Text(scratch);
    };
    out.Verbatim("\xEF\xBB\xBF"); // the encoding, before the head
    out.Verbatim("<HTML><HEAD><meta charset=\"utf-8\"><Title>");
    escaped(title);
    out.Verbatim("</Title><Style type=\"text/css\"> BODY { font-family: Arial; } .ThRows { background-color: #CEC6B5; "
                 "font-weight: bold; text-align: center; } .New { color: #006400; } .Gone { color: #A00000; } "
                 "td.Num { text-align: right; }</STYLE></HEAD><BODY>");
    out.Verbatim("<H5 Align=center>");
    escaped(title);
    out.Verbatim("</H5><Table Border=\"1\" Cellpadding=\"4\" Cellspacing=\"1\"><tr>");
    for (const char *column : kColumns) {
        out.Verbatim("<td class=\"ThRows\">");
        out.Verbatim(column);
        out.Verbatim("</td>");
    }
    out.Verbatim("</tr>");
    for (const TChange &c : comparison.changes) {
        const auto values = rowValues(c, then, now);
        out.Verbatim(c.kind == TChange::Kind::New ? "<tr class=\"New\">" : c.kind == TChange::Kind::Gone ? "<tr class=\"Gone\">" : "<tr>");
        for (std::size_t i = 0; i < values.size(); ++i) {
            out.Verbatim(i >= 2 ? "<td class=\"Num\">" : "<td>");
            escaped(values[i]);
            out.Verbatim("</td>");
        }
        out.Verbatim("</tr>");
        out.FlushIfLarge();
    }
    out.Verbatim("</Table></BODY></HTML>");
}

template <typename Write> bool exportTo(const char *extension, const char *filter, Write write)
{
    const std::string name = PromptSaveFile(extension, filter, "");
    if (name.empty())
        return false;
    WaitFormGuard wait("Export to file..");
    AtomicFile file(name);
    LineOutput out(&file);
    write(out);
    out.Finish();
    file.Commit();
    return true;
}

} // namespace

std::string ChangesCsv(const TComparison &comparison, const TNodeTree &then, const TNodeTree &now)
{
    LineOutput out;
    writeCsv(out, comparison, then, now);
    out.Finish();
    return out.TakeBytes();
}

std::string ChangesPage(const TComparison &comparison, const TNodeTree &then, const TNodeTree &now, const std::string &title)
{
    LineOutput out;
    writePage(out, comparison, then, now, title);
    out.Finish();
    return out.TakeBytes();
}

std::function<void()> PrepareChangesExport(ChangesFormat format, TComparison shown, const TNodeTree &then,
                                           const TNodeTree &now, std::string title)
{
    auto rows = std::make_shared<const TComparison>(std::move(shown));
    return [format, rows, &then, &now, title = std::move(title)] {
        WriteAndReport([&] {
            if (format == ChangesFormat::Csv)
                return exportTo(".csv", "CSV File|*.csv", [&](LineOutput &out) { writeCsv(out, *rows, then, now); });
            return exportTo(".htm", "HTML File|*.htm", [&](LineOutput &out) { writePage(out, *rows, then, now, title); });
        });
    };
}

} // namespace folvane
