// TESS and Kepler light-curve files through cfitsio, read from memory. The
// rules are listed in light_curve.h.
#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "detail/table_columns.h"
#include "detail/text_fields.h"
#include "linalg/extended.h"
#include "readers/light_curve.h"

namespace kvw::readers {

namespace {

using namespace detail;

constexpr std::size_t kFitsBlock = 2880;

// Two faults of a damaged table header that cfitsio 4.2 does not catch, each
// against the FITS standard, so such a header is refused before cfitsio reads
// any (an extension header starts a 2880-byte block with XTENSION):
// - a column's name or unit (TTYPEn, TUNITn) that is not a quoted string and
//   fills the card overruns a buffer; the standard quotes every column text.
//   A card's value is judged as cfitsio itself parses it; an undefined one
//   is harmless.
// - a count of columns (TFIELDS) is used to size a table of columns, so a huge
//   one takes gigabytes; the standard allows at most 999.
void requireSafeTableHeaders(std::string_view content, const std::string& source) {
    constexpr std::size_t kCard = 80;
    constexpr std::string_view kTextKeywords[] = {"TTYPE", "TUNIT", "TFORM", "TDISP", "TDIM"};
    constexpr long kMostColumns = 999;
    for (std::size_t block = 0; block + kCard <= content.size(); block += kFitsBlock) {
        if (!content.substr(block).starts_with("XTENSION")) {
            continue;
        }
        for (std::size_t card = block; card + kCard <= content.size(); card += kCard) {
            const std::string_view text = content.substr(card, kCard);
            if (text.starts_with("END     ")) {
                break;
            }
            const bool columnText = std::any_of(std::begin(kTextKeywords), std::end(kTextKeywords),
                                                [&](std::string_view keyword) { return text.starts_with(keyword); });
            if (!columnText && !text.starts_with("TFIELDS ")) {
                continue;
            }
            char value[FLEN_VALUE] = {};
            char comment[FLEN_COMMENT] = {};
            int status = 0;
            std::string cardText(text);
            fits_parse_value(cardText.data(), value, comment, &status);
            if (status != 0) {
                continue;  // cfitsio reports it when it reads the header
            }
            const std::string keyword(trimBlanks(text.substr(0, 8)));
            const std::string where = keyword + " at byte " + std::to_string(card);
            if (columnText && value[0] != '\0' && value[0] != '\'') {
                throw ReadError(source + ": cannot read the FITS file: a damaged header (the value of " + where +
                                " is not a quoted string)");
            }
            if (!columnText && std::strtol(value, nullptr, 10) > kMostColumns) {
                throw ReadError(source + ": cannot read the FITS file: a damaged header (" + where + " counts " +
                                std::string(trimBlanks(value)) + " columns; at most " +
                                std::to_string(kMostColumns) + " are allowed)");
            }
        }
    }
}

// An open FITS file in memory, closed when the object goes. cfitsio reads
// whole blocks of 2880 bytes from memory without checking a shorter last one,
// so the copy it reads is padded with zeros to whole blocks; the true size
// tells a truncated table (see requireWhole). cfitsio keeps the addresses of
// `memory_` and `size_`, so they live as long as the file.
class FitsFile {
public:
    FitsFile(std::string_view content, const std::string& source)
        : buffer_(content.begin(), content.end()), source_(source), trueSize_(content.size()) {
        if (buffer_.empty()) {
            throw ReadError(source_ + ": cannot read the FITS file: it is empty");
        }
        requireSafeTableHeaders(content, source_);
        buffer_.resize((buffer_.size() + kFitsBlock - 1) / kFitsBlock * kFitsBlock, '\0');
        memory_ = buffer_.data();
        size_ = buffer_.size();
        int status = 0;
        fits_open_memfile(&file_, source_.c_str(), READONLY, &memory_, &size_, 0, nullptr, &status);
        check(status);
    }
    ~FitsFile() {
        if (file_ != nullptr) {
            int status = 0;
            fits_close_file(file_, &status);
        }
    }
    FitsFile(const FitsFile&) = delete;
    FitsFile& operator=(const FitsFile&) = delete;

    fitsfile* get() const { return file_; }

    bool wholeBlocks() const { return trueSize_ % kFitsBlock == 0; }

    // A ReadError unless the file holds every byte of the current table's
    // rows and heap (the padding after them may be missing).
    void requireWhole() const {
        int status = 0;
        LONGLONG headerStart = 0;
        LONGLONG dataStart = 0;
        LONGLONG dataEnd = 0;
        LONGLONG rowBytes = 0;
        LONGLONG rows = 0;
        LONGLONG heapBytes = 0;
        fits_get_hduaddrll(file_, &headerStart, &dataStart, &dataEnd, &status);
        fits_read_key(file_, TLONGLONG, "NAXIS1", &rowBytes, nullptr, &status);
        fits_read_key(file_, TLONGLONG, "NAXIS2", &rows, nullptr, &status);
        fits_read_key(file_, TLONGLONG, "PCOUNT", &heapBytes, nullptr, &status);
        check(status);
        const long double needed = static_cast<long double>(dataStart) +
                                   static_cast<long double>(rowBytes) * static_cast<long double>(rows) +
                                   static_cast<long double>(heapBytes);
        if (needed > static_cast<long double>(trueSize_)) {
            throw ReadError(source_ + ": cannot read the FITS file: it is truncated (" + std::to_string(trueSize_) +
                            " bytes, the table ends at byte " + std::to_string(static_cast<unsigned long long>(
                                                                    std::min(needed, 1e19L))) + ")");
        }
    }

    // A ReadError with cfitsio's message when `status` tells of a failure.
    void check(int status) const {
        if (status == 0) {
            return;
        }
        char text[FLEN_STATUS] = {};
        fits_get_errstatus(status, text);
        throw ReadError(source_ + ": cannot read the FITS file: " + text + " (cfitsio status " +
                        std::to_string(status) + ")");
    }

private:
    std::vector<char> buffer_;
    std::string source_;
    std::size_t trueSize_;
    void* memory_ = nullptr;
    std::size_t size_ = 0;
    fitsfile* file_ = nullptr;
};

std::vector<std::string> columnNames(const FitsFile& file) {
    int status = 0;
    int count = 0;
    fits_get_num_cols(file.get(), &count, &status);
    file.check(status);
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) {
        std::string keyword = "TTYPE" + std::to_string(i);
        char name[FLEN_VALUE] = {};
        fits_read_key(file.get(), TSTRING, keyword.c_str(), name, nullptr, &status);
        if (status == KEY_NO_EXIST) {
            status = 0;
            name[0] = '\0';
        }
        file.check(status);
        names.emplace_back(trimBlanks(name));
    }
    return names;
}

double keywordValue(const FitsFile& file, const char* keyword, const std::string& source) {
    int status = 0;
    double value = 0;
    fits_read_key(file.get(), TDOUBLE, keyword, &value, nullptr, &status);
    if (status == KEY_NO_EXIST) {
        throw ReadError(source + ": the LIGHTCURVE table has no " + keyword + " keyword");
    }
    file.check(status);
    return value;
}

// The column's values, one per row; a null value of an integer column is NaN.
template <typename T>
std::vector<T> columnValues(const FitsFile& file, const TableColumn& column, LONGLONG rows, const std::string& source) {
    int status = 0;
    int typeCode = 0;
    LONGLONG repeat = 0;
    LONGLONG width = 0;
    fits_get_coltypell(file.get(), static_cast<int>(column.index) + 1, &typeCode, &repeat, &width, &status);
    file.check(status);
    if (typeCode < 0 || typeCode == TSTRING || typeCode == TLOGICAL || typeCode == TBIT || typeCode == TCOMPLEX ||
        typeCode == TDBLCOMPLEX) {
        throw ReadError(source + ": column " + column.label + " does not hold numbers");
    }
    if (repeat != 1) {
        throw ReadError(source + ": column " + column.label + " holds " + std::to_string(repeat) +
                        " values per row, not one");
    }
    constexpr int kType = std::is_same_v<T, double> ? TDOUBLE : TLONG;
    // 0: no null check. A floating column's values come as they are (cfitsio
    // would make an infinity null, hence NaN); an integer column's nulls are NaN.
    const bool floating = typeCode == TFLOAT || typeCode == TDOUBLE;
    T nullValue = std::is_same_v<T, double> && !floating ? std::numeric_limits<T>::quiet_NaN() : T{0};
    std::vector<T> values(static_cast<std::size_t>(rows));
    int anyNull = 0;
    if (rows > 0) {
        fits_read_col(file.get(), kType, static_cast<int>(column.index) + 1, 1, 1, rows, &nullValue, values.data(),
                      &anyNull, &status);
    }
    file.check(status);
    return values;
}

std::optional<TableColumn> optionalColumn(const std::vector<std::string>& names, const std::string& name) {
    if (const std::optional<std::size_t> index = columnNamed(names, name)) {
        return TableColumn{*index, names[*index]};
    }
    return std::nullopt;
}


// A keyword of the current header: its text (trimmed) or number; nothing
// when the header lacks it, a problem when the value is not of that kind.
template <typename T>
std::optional<T> keywordIn(const FitsFile& file, const char* keyword, std::string& problem) {
    int status = 0;
    T value{};
    if constexpr (std::is_same_v<T, std::string>) {
        char text[FLEN_VALUE] = {};
        fits_read_key(file.get(), TSTRING, keyword, text, nullptr, &status);
        value = trimBlanks(text);
    } else {
        fits_read_key(file.get(), TDOUBLE, keyword, &value, nullptr, &status);
    }
    if (status == KEY_NO_EXIST) {
        return std::nullopt;
    }
    if (status != 0) {
        problem = std::string(keyword) + " is not " + (std::is_same_v<T, std::string> ? "a text" : "a number");
        return std::nullopt;
    }
    return value;
}

// BJD_TDB when the table says TDB at the solar system's barycentre; else
// unknown, with a note.
void readTimeScale(const FitsFile& file, LightCurve& curve) {
    std::string problem;
    const auto system = keywordIn<std::string>(file, "TIMESYS", problem);
    const auto reference = keywordIn<std::string>(file, "TIMEREF", problem);
    if (system && reference && equalIgnoringCase(*system, "TDB") && equalIgnoringCase(*reference, "SOLARSYSTEM")) {
        curve.timeScale = timescale::TimeScale::bjdTdb;
        curve.timeScaleSource = "TIMESYS = 'TDB' and TIMEREF = 'SOLARSYSTEM'";
        return;
    }
    if (!system || !reference) {
        const char* missing = !system && !reference ? "TIMESYS and TIMEREF keywords" : !system ? "TIMESYS keyword"
                                                                                                : "TIMEREF keyword";
        curve.notes.push_back(std::string("the LIGHTCURVE table has no ") + missing + ": the time scale is unknown");
    } else {
        curve.notes.push_back("the LIGHTCURVE table's TIMESYS = " + quoted(*system) + " and TIMEREF = " +
                              quoted(*reference) + " are not TDB at the solar system's barycentre: the time scale "
                              "is unknown");
    }
}

// RA_OBJ and DEC_OBJ of the current header, else of the primary header; a
// position that cannot be used is left out with a note.
void readStarPosition(const FitsFile& file, LightCurve& curve) {
    std::string problem;
    auto ra = keywordIn<double>(file, "RA_OBJ", problem);
    auto dec = keywordIn<double>(file, "DEC_OBJ", problem);
    if (!ra && !dec && problem.empty()) {
        int status = 0;
        fits_movabs_hdu(file.get(), 1, nullptr, &status);
        file.check(status);
        ra = keywordIn<double>(file, "RA_OBJ", problem);
        dec = keywordIn<double>(file, "DEC_OBJ", problem);
    }
    if (ra && dec) {
        problem = timescale::positionProblem(*ra, *dec);
        if (problem.empty()) {
            curve.position = timescale::SkyPosition{*ra, *dec};
            return;
        }
    } else if (problem.empty() && (ra || dec)) {
        problem = ra ? "DEC_OBJ is missing" : "RA_OBJ is missing";
    }
    if (!problem.empty()) {
        curve.notes.push_back("the star's position (RA_OBJ, DEC_OBJ) is not used: " + problem);
    }
}

}  // namespace

LightCurve readFitsLightCurve(std::string_view content, const std::string& source, const ReadOptions& options) {
    const FitsFile file(content, source);
    int status = 0;
    char tableName[] = "LIGHTCURVE";
    fits_movnam_hdu(file.get(), BINARY_TBL, tableName, 0, &status);
    if (status == BAD_HDU_NUM) {
        throw ReadError(source + (file.wholeBlocks() ? ": no LIGHTCURVE table (not a TESS or Kepler light-curve file)"
                                                     : ": cannot read the FITS file: no LIGHTCURVE table, and the file "
                                                       "is not a whole number of 2880-byte blocks (truncated?)"));
    }
    file.check(status);
    file.requireWhole();
    LONGLONG rows = 0;
    fits_get_num_rowsll(file.get(), &rows, &status);
    file.check(status);
    const std::vector<std::string> names = columnNames(file);

    TableColumns columns;
    columns.time = findColumn(options.timeColumn.empty() ? "TIME" : options.timeColumn, names, source, "time");
    if (!valueColumnFromOptions(options, names, source, columns)) {
        columns.value = findColumn("PDCSAP_FLUX", names, source, "flux");
        columns.kind = ValueKind::flux;
    }
    std::optional<TableColumn> error = options.errorColumn.empty()
                                           ? optionalColumn(names, columns.value.label + "_ERR")
                                           : findColumn(options.errorColumn, names, source, "error");
    for (const TableColumn* column : {&columns.time, &columns.value, error ? &*error : &columns.time}) {
        if (column->index >= names.size()) {
            throw ReadError(source + ": no column " + std::to_string(column->index + 1) + " (the LIGHTCURVE table has " +
                            std::to_string(names.size()) + ")");
        }
    }
    std::optional<TableColumn> quality = optionalColumn(names, "QUALITY");
    if (!quality) {
        quality = optionalColumn(names, "SAP_QUALITY");
    }

    const linalg::Extended reference = static_cast<linalg::Extended>(keywordValue(file, "BJDREFI", source)) +
                                       static_cast<linalg::Extended>(keywordValue(file, "BJDREFF", source));
    const std::vector<double> times = columnValues<double>(file, columns.time, rows, source);
    const std::vector<double> values = columnValues<double>(file, columns.value, rows, source);
    const std::vector<double> errors =
        error ? columnValues<double>(file, *error, rows, source) : std::vector<double>(times.size(), std::nan(""));
    const std::vector<long> flags = quality ? columnValues<long>(file, *quality, rows, source) : std::vector<long>();

    PointCollector collector(source, columns.kind);
    for (std::size_t row = 0; row < times.size(); ++row) {
        if (!flags.empty() && flags[row] != 0) {
            collector.leaveOut("with a non-zero " + quality->label + " flag");
        } else if (const auto reason = notFiniteReason(times[row], columns.time.label)) {
            collector.leaveOut(*reason);
        } else if (const auto reason = notFiniteReason(values[row], columns.value.label)) {
            collector.leaveOut(*reason);
        } else {
            collector.add(linalg::store(times[row] + reference), values[row], errors[row]);
        }
    }
    LightCurve curve = collector.finish();
    readTimeScale(file, curve);
    readStarPosition(file, curve);
    return curve;
}

}  // namespace kvw::readers
