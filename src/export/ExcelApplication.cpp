#include "ExcelApplication.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include <xlsxwriter.h>

#include "common/SafeFile.h"
#include "common/Utf8.h"

namespace folvane {

namespace {

bool contains(const ExcelArea &a, int row, int column)
{
    return row >= a.top && row <= a.bottom && column >= a.left && column <= a.right;
}

// A cell address "K12": column letters, then the row number.
bool parseCell(std::string_view text, int &row, int &column)
{
    std::size_t i = 0;
    while (i < text.size() && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z')))
        ++i;
    column = ColumnNumberOf(text.substr(0, i));
    if (column == 0 || i == text.size() || text.size() - i > 7)
        return false;
    row = 0;
    for (std::size_t j = i; j < text.size(); ++j) {
        if (text[j] < '0' || text[j] > '9')
            return false;
        row = row * 10 + (text[j] - '0');
    }
    return row >= 1;
}

} // namespace

// --- Numbers and column letters ---------------------------------------------------------------

bool IsPlainDecimal(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-')
        ++i;
    std::size_t intStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    std::size_t intDigits = i - intStart;
    if (intDigits == 0 || (intDigits > 1 && text[intStart] == '0'))
        return false;
    std::size_t fracDigits = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        std::size_t fracStart = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        fracDigits = i - fracStart;
        if (fracDigits == 0)
            return false;
    }
    return i == text.size() && intDigits + fracDigits <= 15;
}

int ColumnNumberOf(std::string_view letters)
{
    if (letters.empty() || letters.size() > 3)
        return 0;
    int n = 0;
    for (char c : letters) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            return 0;
        n = n * 26 + (c - 'A' + 1);
    }
    return n;
}

// --- Application ------------------------------------------------------------------------------

ExcelApplication::ExcelApplication() : books_(*this) {}

void ExcelApplication::Call(const std::string &)
{
}

void ExcelApplication::ScreenUpdating(bool on)
{
    Call(std::string("ScreenUpdating=") + (on ? "1" : "0"));
    screenUpdating = on;
}

void ExcelApplication::Visible(bool on)
{
    Call(std::string("Visible=") + (on ? "1" : "0"));
    visible = on;
}

ExcelWorkbooks &ExcelApplication::WorkBooks()
{
    return books_;
}

ExcelWorkbook &ExcelWorkbooks::Add()
{
    app_->Call("WorkBooks.Add");
    books_.push_back(std::unique_ptr<ExcelWorkbook>(new ExcelWorkbook(*app_)));
    return *books_.back();
}

ExcelWorkbook &ExcelWorkbooks::operator()(int index)
{
    if (index < 1 || std::size_t(index) > books_.size())
        throw ExcelError("No workbook " + std::to_string(index));
    return *books_[std::size_t(index) - 1];
}

std::unique_ptr<ExcelApplication> CreateOleObject(std::string_view programId)
{
    if (programId != "Excel.Application")
        throw ExcelError("Invalid class string: " + std::string(programId));
    return std::make_unique<ExcelApplication>();
}

// --- Workbook and sheet -----------------------------------------------------------------------

ExcelWorkbook::ExcelWorkbook(ExcelApplication &app) : app_(&app)
{
    sheets_.push_back(std::unique_ptr<ExcelWorksheet>(new ExcelWorksheet(app)));
}

ExcelWorksheet &ExcelWorkbook::WorkSheets(int index)
{
    if (index < 1 || std::size_t(index) > sheets_.size())
        throw ExcelError("No worksheet " + std::to_string(index));
    return *sheets_[std::size_t(index) - 1];
}

void ExcelWorkbook::Close()
{
    app_->Call("WorkBooks.close");
    closed_ = true;
}

ExcelRange ExcelWorksheet::Cells(int row, int column)
{
    std::string name = "Cells(" + std::to_string(row) + "," + std::to_string(column) + ")";
    app_->Call(name);
    if (row < 1 || column < 1)
        throw ExcelError("No cell " + name);
    return ExcelRange(*this, {row, column, row, column}, name);
}

ExcelRange ExcelWorksheet::Range(std::string_view text)
{
    std::string name = "Range(" + std::string(text) + ")";
    app_->Call(name);
    ExcelArea a;
    std::size_t colon = text.find(':');
    std::string_view first = text.substr(0, colon);
    std::string_view last = colon == std::string_view::npos ? first : text.substr(colon + 1);
    if (!parseCell(first, a.top, a.left) || !parseCell(last, a.bottom, a.right))
        throw ExcelError("No range " + name);
    if (a.top > a.bottom)
        std::swap(a.top, a.bottom);
    if (a.left > a.right)
        std::swap(a.left, a.right);
    return ExcelRange(*this, a, name);
}

ExcelWorksheet::CellStyle &ExcelWorksheet::styleFor(ExcelArea area)
{
    for (auto &[a, style] : styles)
        if (a.top == area.top && a.left == area.left && a.bottom == area.bottom && a.right == area.right)
            return style;
    CellStyle inherited;
    // A new area starts from what its top left cell has so far.
    for (auto &[a, style] : styles)
        if (contains(a, area.top, area.left)) {
            if (style.bold)
                inherited.bold = true;
            if (style.horizontal)
                inherited.horizontal = style.horizontal;
            if (style.vertical)
                inherited.vertical = style.vertical;
            if (style.border)
                inherited.border = style.border;
        }
    styles.push_back({area, inherited});
    return styles.back().second;
}

// --- Ranges -----------------------------------------------------------------------------------

void ExcelRange::Value(const std::string &text)
{
    sheet_->app_->Call(name_ + ".Value=" + text);
    for (int r = area_.top; r <= area_.bottom; ++r)
        for (int c = area_.left; c <= area_.right; ++c)
            sheet_->cells[{r, c}] = text;
}

void ExcelRange::Value(ExcelGrid grid)
{
    sheet_->app_->Call(name_ + ".Value=grid(" + std::to_string(grid.Rows()) + "x" + std::to_string(grid.Columns()) + ")");
    // Excel fills the range's rectangle; a grid of another shape is cut or left short.
    std::size_t rows = std::size_t(area_.bottom - area_.top + 1);
    std::size_t cols = std::size_t(area_.right - area_.left + 1);
    if (grid.Rows() != rows || grid.Columns() != cols) {
        ExcelGrid fitted(rows, cols);
        for (std::size_t r = 0; r < std::min(rows, grid.Rows()); ++r)
            for (std::size_t c = 0; c < std::min(cols, grid.Columns()); ++c)
                fitted.At(r, c) = std::move(grid.At(r, c));
        grid = std::move(fitted);
    }
    sheet_->grids.push_back({area_.top, area_.left, std::move(grid)});
}

void ExcelRange::HorizontalAlignment(int alignment)
{
    sheet_->app_->Call(name_ + ".HorizontalAlignment=" + std::to_string(alignment));
    sheet_->styleFor(area_).horizontal = alignment;
}

void ExcelRange::VerticalAlignment(int alignment)
{
    sheet_->app_->Call(name_ + ".VerticalAlignment=" + std::to_string(alignment));
    sheet_->styleFor(area_).vertical = alignment;
}

ExcelFont ExcelRange::Font()
{
    sheet_->app_->Call(name_ + ".Font");
    return ExcelFont(*sheet_, area_, name_ + ".Font");
}

void ExcelFont::Bold(bool bold)
{
    sheet_->app_->Call(name_ + ".Bold=" + (bold ? "1" : "0"));
    sheet_->styleFor(area_).bold = bold;
}

void ExcelRange::Merge()
{
    sheet_->app_->Call(name_ + ".Merge");
    if (area_.top != area_.bottom || area_.left != area_.right)
        sheet_->merges.push_back(area_);
}

ExcelBorders ExcelRange::Borders()
{
    sheet_->app_->Call(name_ + ".Borders");
    return ExcelBorders(*sheet_, area_, name_ + ".Borders");
}

void ExcelBorders::LineStyle(int style)
{
    sheet_->app_->Call(name_ + ".LineStyle=" + std::to_string(style));
    sheet_->styleFor(area_).border = style;
}

ExcelRange ExcelRange::Columns()
{
    sheet_->app_->Call(name_ + ".Columns");
    return ExcelRange(*sheet_, area_, name_ + ".Columns", Part::Columns);
}

ExcelRange ExcelRange::Rows()
{
    sheet_->app_->Call(name_ + ".Rows");
    return ExcelRange(*sheet_, area_, name_ + ".Rows", Part::Rows);
}

void ExcelRange::AutoFit()
{
    sheet_->app_->Call(name_ + ".AutoFit");
    if (part_ == Part::Columns)
        sheet_->fittedColumns.push_back(area_);
    else if (part_ == Part::Rows)
        sheet_->fittedRows.push_back(area_);
    else
        throw ExcelError("AutoFit needs whole columns or rows: " + name_);
}

// --- Saving -----------------------------------------------------------------------------------

namespace {

constexpr std::size_t kMaxCellText = 32767; // the most characters a cell holds

// One xlsx writer session; closes (and so frees) the workbook on every way out.
class XlsxSession {
public:
    explicit XlsxSession(const std::string &path)
    {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE; // rows go out as they are written: little memory
        book_ = workbook_new_opt(path.c_str(), &options);
        if (!book_)
            throw ExcelError("Cannot create the workbook \"" + path + "\"");
        sheet_ = workbook_add_worksheet(book_, nullptr);
        if (!sheet_) {
            workbook_close(book_);
            throw ExcelError("Cannot add a worksheet");
        }
    }
    ~XlsxSession()
    {
        if (book_)
            workbook_close(book_);
    }
    lxw_error Close()
    {
        lxw_error e = workbook_close(book_);
        book_ = nullptr;
        return e;
    }
    lxw_worksheet *Sheet() const { return sheet_; }

    // The format of a style and a number form (-1: text; else decimals of a number).
    lxw_format *Format(const ExcelWorksheet::CellStyle &style, int decimals)
    {
        auto key = std::make_tuple(style.bold, style.horizontal, style.vertical, style.border, decimals);
        auto it = formats_.find(key);
        if (it != formats_.end())
            return it->second;
        lxw_format *f = nullptr;
        if (style.bold || style.horizontal || style.vertical || style.border || decimals >= 0) {
            f = workbook_add_format(book_);
            if (style.bold)
                format_set_bold(f);
            if (style.horizontal == xlCenter)
                format_set_align(f, LXW_ALIGN_CENTER);
            if (style.vertical == xlCenter)
                format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
            if (style.border == xlContinuous)
                format_set_border(f, LXW_BORDER_THIN);
            if (decimals >= 0)
                format_set_num_format(f, decimals == 0 ? "0" : ("0." + std::string(std::size_t(decimals), '0')).c_str());
        }
        formats_[key] = f;
        return f;
    }

private:
    lxw_workbook *book_ = nullptr;
    lxw_worksheet *sheet_ = nullptr;
    std::map<std::tuple<bool, int, int, int, int>, lxw_format *> formats_;
};

int decimalsOf(std::string_view number)
{
    std::size_t dot = number.find('.');
    return dot == std::string_view::npos ? 0 : int(number.size() - dot - 1);
}

void check(lxw_error e, const char *what)
{
    if (e != LXW_NO_ERROR)
        throw ExcelError(std::string(what) + ": " + lxw_strerror(e));
}

void writeSheet(const ExcelWorksheet &ws, XlsxSession &out)
{
    // The used rectangle.
    int lastRow = 0, lastCol = 0;
    auto grow = [&](int r, int c) {
        lastRow = std::max(lastRow, r);
        lastCol = std::max(lastCol, c);
    };
    for (const auto &[rc, text] : ws.cells)
        grow(rc.first, rc.second);
    for (const auto &g : ws.grids)
        if (g.grid.Rows() && g.grid.Columns())
            grow(g.top + int(g.grid.Rows()) - 1, g.left + int(g.grid.Columns()) - 1);
    for (const auto &m : ws.merges)
        grow(m.bottom, m.right);
    for (const auto &s : ws.styles)
        grow(s.first.bottom, s.first.right);
    if (lastRow > 1048576 || lastCol > 16384)
        throw ExcelError("The sheet is larger than a workbook allows");

    // The text of a cell: the last grid assigned over it, else a single write.
    auto textAt = [&](int r, int c) -> const std::string * {
        for (auto it = ws.grids.rbegin(); it != ws.grids.rend(); ++it) {
            const auto &g = *it;
            if (r >= g.top && c >= g.left && std::size_t(r - g.top) < g.grid.Rows() &&
                std::size_t(c - g.left) < g.grid.Columns())
                return &g.grid.At(std::size_t(r - g.top), std::size_t(c - g.left));
        }
        auto it = ws.cells.find({r, c});
        return it == ws.cells.end() ? nullptr : &it->second;
    };
    auto styleAt = [&](int r, int c) {
        ExcelWorksheet::CellStyle s;
        for (const auto &[a, style] : ws.styles)
            if (contains(a, r, c))
                s = style;
        return s;
    };
    auto mergeAt = [&](int r, int c) -> const ExcelArea * {
        for (const auto &m : ws.merges)
            if (contains(m, r, c))
                return &m;
        return nullptr;
    };

    // Column widths: the widest text of each fitted column within the fitted range (merged cells
    // do not count, as in Excel).
    std::vector<std::size_t> widest(std::size_t(lastCol) + 1, 0);
    auto fittedAt = [&](int r, int c) {
        for (const auto &a : ws.fittedColumns)
            if (contains(a, r, c))
                return true;
        return false;
    };

    std::string scratch;
    for (int r = 1; r <= lastRow; ++r) {
        for (int c = 1; c <= lastCol; ++c) {
            const ExcelArea *merge = mergeAt(r, c);
            if (merge && (merge->top != r || merge->left != c))
                continue; // written with its merge
            const std::string *text = textAt(r, c);
            ExcelWorksheet::CellStyle style = styleAt(r, c);
            std::string_view value = text ? std::string_view(*text) : std::string_view();
            if (value.size() > kMaxCellText) {
                scratch = ValidUtf8(value.substr(0, kMaxCellText)); // cut at a character boundary
                value = scratch;
            }
            bool number = IsPlainDecimal(value);
            lxw_format *format = out.Format(style, number ? decimalsOf(value) : -1);
            auto row = lxw_row_t(r - 1);
            auto col = lxw_col_t(c - 1);
            if (merge) {
                check(worksheet_merge_range(out.Sheet(), row, col, lxw_row_t(merge->bottom - 1),
                                            lxw_col_t(merge->right - 1), number ? "" : std::string(value).c_str(),
                                            format),
                      "Cannot merge cells");
                if (number)
                    check(worksheet_write_number(out.Sheet(), row, col, std::strtod(std::string(value).c_str(), nullptr), format),
                          "Cannot write a cell");
                continue;
            }
            if (fittedAt(r, c))
                widest[std::size_t(c)] = std::max(widest[std::size_t(c)], CodePointCount(value) + (style.bold ? 1 : 0));
            if (number)
                check(worksheet_write_number(out.Sheet(), row, col, std::strtod(std::string(value).c_str(), nullptr), format),
                      "Cannot write a cell");
            else if (!value.empty())
                check(worksheet_write_string(out.Sheet(), row, col, std::string(value).c_str(), format),
                      "Cannot write a cell");
            else if (format)
                check(worksheet_write_blank(out.Sheet(), row, col, format), "Cannot write a cell");
        }
    }
    for (int c = 1; c <= lastCol; ++c)
        if (widest[std::size_t(c)] > 0) {
            double width = std::min(255.0, double(widest[std::size_t(c)]) * 1.1 + 2.0);
            check(worksheet_set_column(out.Sheet(), lxw_col_t(c - 1), lxw_col_t(c - 1), width, nullptr),
                  "Cannot set a column width");
        }
}

} // namespace

void ExcelWorkbook::SaveAs(const std::string &path)
{
    app_->Call("WorkBooks.SaveAs(" + path + ")");
    // The new workbook is written beside the target and replaces it only when complete.
    const std::string target = ReplacedFileOf(path);
    std::string temp = target + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw ExcelError("Cannot write \"" + path + "\": " + std::strerror(errno));
    ::fchmod(fd, mode_t(PermissionsFor(target)));
    ::close(fd);
    try {
        {
            XlsxSession session(temp);
            writeSheet(*sheets_.front(), session);
            // The library says only that a file operation failed; the system's reason is in errno.
            errno = 0;
            const lxw_error closed = session.Close();
            const int reason = errno;
            if (closed != LXW_NO_ERROR && reason != 0)
                throw ExcelError("Cannot write \"" + path + "\": " + std::strerror(reason) + " (" +
                                 lxw_strerror(closed) + ")");
            check(closed, ("Cannot write \"" + path + "\"").c_str());
        }
        fd = ::open(temp.c_str(), O_RDONLY);
        if (fd < 0 || ::fsync(fd) != 0) {
            int e = errno;
            if (fd >= 0)
                ::close(fd);
            throw ExcelError("Cannot write \"" + path + "\": " + std::strerror(e));
        }
        ::close(fd);
        if (::rename(temp.c_str(), target.c_str()) != 0)
            throw ExcelError("Cannot replace \"" + path + "\": " + std::strerror(errno));
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
}

} // namespace folvane
