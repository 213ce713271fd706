#pragma once
// A stand-in for the spreadsheet application's automation object ("Excel.Application"): the
// members the workbook export calls, with their names, kept in an in-memory workbook model that
// "SaveAs" writes as a real .xlsx file.
//
// Every member call passes through Call, by name, before it takes effect. The application does
// nothing there; the tests' double (tests/support) records the calls and can make one fail.

#include <cstddef>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace folvane {

class ExcelError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A rectangle of texts, row-major, indexed from 0: what a range's Value takes in one assignment.
class ExcelGrid {
public:
    ExcelGrid() = default;
    ExcelGrid(std::size_t rows, std::size_t columns) : rows_(rows), columns_(columns), cells_(rows * columns) {}
    std::size_t Rows() const { return rows_; }
    std::size_t Columns() const { return columns_; }
    std::string &At(std::size_t row, std::size_t column) { return cells_[row * columns_ + column]; }
    const std::string &At(std::size_t row, std::size_t column) const { return cells_[row * columns_ + column]; }

private:
    std::size_t rows_ = 0, columns_ = 0;
    std::vector<std::string> cells_;
};

// Constants of the automation interface.
constexpr int xlCenter = -4108;
constexpr int xlContinuous = 1;

class ExcelApplication;
class ExcelWorksheet;

// A rectangle of a sheet, 1-based and inclusive, as "Cells" and "Range" hand it out.
struct ExcelArea {
    int top = 1, left = 1, bottom = 1, right = 1;
};

class ExcelFont {
public:
    void Bold(bool bold);

private:
    friend class ExcelRange;
    ExcelFont(ExcelWorksheet &sheet, ExcelArea area, std::string name) : sheet_(&sheet), area_(area), name_(std::move(name)) {}
    ExcelWorksheet *sheet_;
    ExcelArea area_;
    std::string name_;
};

class ExcelBorders {
public:
    void LineStyle(int style);

private:
    friend class ExcelRange;
    ExcelBorders(ExcelWorksheet &sheet, ExcelArea area, std::string name) : sheet_(&sheet), area_(area), name_(std::move(name)) {}
    ExcelWorksheet *sheet_;
    ExcelArea area_;
    std::string name_;
};

class ExcelRange {
public:
    void Value(const std::string &text);   // every cell of the range
    void Value(ExcelGrid grid);            // the grid from the range's top left cell
    void HorizontalAlignment(int alignment);
    void VerticalAlignment(int alignment);
    ExcelFont Font();
    void Merge();
    ExcelBorders Borders();
    ExcelRange Columns();
    ExcelRange Rows();
    void AutoFit();

    ExcelArea Area() const { return area_; }

private:
    friend class ExcelWorksheet;
    enum class Part { Cells, Columns, Rows };
    ExcelRange(ExcelWorksheet &sheet, ExcelArea area, std::string name, Part part = Part::Cells)
        : sheet_(&sheet), area_(area), name_(std::move(name)), part_(part)
    {
    }
    ExcelWorksheet *sheet_;
    ExcelArea area_;
    std::string name_; // "Cells(1,1)", "Range(A2:K5)": how the trace names it
    Part part_;
};

// The model of one sheet, as the members left it.
class ExcelWorksheet {
public:
    ExcelRange Cells(int row, int column);
    // A range text "A1" or "A1:K1" (column letters, row number).
    ExcelRange Range(std::string_view text);

    struct CellStyle {
        bool bold = false;
        int horizontal = 0, vertical = 0; // 0: the sheet's default
        int border = 0;                   // line style of all four edges; 0: none
    };
    struct GridBlock {
        int top, left;
        ExcelGrid grid;
    };
    // What was written: single cells, grids assigned in one piece, merges, cell styles, fitted columns.
    std::map<std::pair<int, int>, std::string> cells;
    std::vector<GridBlock> grids;
    std::vector<ExcelArea> merges;
    std::vector<std::pair<ExcelArea, CellStyle>> styles; // applied in order
    std::vector<ExcelArea> fittedColumns, fittedRows;    // ranges whose columns or rows were fitted

private:
    friend class ExcelWorkbook;
    friend class ExcelRange;
    friend class ExcelFont;
    friend class ExcelBorders;
    explicit ExcelWorksheet(ExcelApplication &app) : app_(&app) {}
    CellStyle &styleFor(ExcelArea area);
    ExcelApplication *app_;
};

class ExcelWorkbook {
public:
    ExcelWorksheet &WorkSheets(int index);
    // Writes the workbook to `path` as .xlsx. The file is replaced only once the new one is complete.
    void SaveAs(const std::string &path);
    void Close();

    bool Closed() const { return closed_; }

private:
    friend class ExcelWorkbooks;
    explicit ExcelWorkbook(ExcelApplication &app);
    ExcelApplication *app_;
    std::vector<std::unique_ptr<ExcelWorksheet>> sheets_;
    bool closed_ = false;
};

class ExcelWorkbooks {
public:
    ExcelWorkbook &Add();
    ExcelWorkbook &operator()(int index); // 1-based: WorkBooks(1)
    std::size_t Count() const { return books_.size(); }

private:
    friend class ExcelApplication;
    explicit ExcelWorkbooks(ExcelApplication &app) : app_(&app) {}
    ExcelApplication *app_;
    std::vector<std::unique_ptr<ExcelWorkbook>> books_;
};

class ExcelApplication {
public:
    ExcelApplication();
    virtual ~ExcelApplication() = default;
    ExcelApplication(const ExcelApplication &) = delete;
    ExcelApplication &operator=(const ExcelApplication &) = delete;

    void ScreenUpdating(bool on);
    void Visible(bool on);
    ExcelWorkbooks &WorkBooks();

    bool screenUpdating = true, visible = false;

    // Called with the name of each member call before it takes effect ("ScreenUpdating=0",
    // "Range(A1:K1).Merge", ...). An override may throw ExcelError, as a failing automation call would.
    virtual void Call(const std::string &member);

private:
    ExcelWorkbooks books_;
};

// Creates the automation object of a program identifier; only "Excel.Application" is known.
// Throws ExcelError for any other.
std::unique_ptr<ExcelApplication> CreateOleObject(std::string_view programId);

// True for a text that reads as a plain decimal number ("0", "1234", "-5", "12.50"): such texts
// become numeric cells. Leading zeros ("007") and more than 15 digits stay text, so that no
// name or value loses characters.
bool IsPlainDecimal(std::string_view text);

// 1-based column number of column letters ("A" 1, "AA" 27); 0 when the text is not letters.
int ColumnNumberOf(std::string_view letters);

} // namespace folvane
