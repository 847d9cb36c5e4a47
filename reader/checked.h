// Checked numbers and fixed-size tables of the song model.
//
// The model keeps the widths and bounds that the program's files and report depend on. Arithmetic that leaves
// a field's width raises RunError(kOverflow); an index outside a table's bounds raises RunError(kSubscript).
// The report's error handler turns both into the messages the user sees, so no input can cause undefined
// behaviour.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace sonivex {

// Error numbers that the messages show ("Error: 9" and so on).
inline constexpr int kIllegalCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kSubscript = 9;
inline constexpr int kDivisionByZero = 11;
inline constexpr int kBadFileNumber = 52;
inline constexpr int kPastEndOfFile = 62;

// A runtime error with the number that the report's error handler shows.
class RunError : public std::runtime_error {
public:
    explicit RunError(int number) : std::runtime_error("Error " + std::to_string(number)), number_(number) {}
    int Number() const { return number_; }

private:
    int number_;
};

// A signed integer of a fixed width whose every assignment is range-checked.
template <typename T>
class Checked {
public:
    constexpr Checked() = default;
    Checked(std::int64_t v) : value_(Fit(v)) {}  // NOLINT: used like the plain number it holds

    operator T() const { return value_; }  // NOLINT

    Checked& operator=(std::int64_t v) {
        value_ = Fit(v);
        return *this;
    }
    Checked& operator+=(std::int64_t d) {
        value_ = Fit(static_cast<std::int64_t>(value_) + d);
        return *this;
    }
    Checked& operator-=(std::int64_t d) {
        value_ = Fit(static_cast<std::int64_t>(value_) - d);
        return *this;
    }
    Checked& operator++() { return *this += 1; }
    Checked& operator--() { return *this -= 1; }

    static T Fit(std::int64_t v) {
        if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) throw RunError(kOverflow);
        return static_cast<T>(v);
    }

private:
    T value_ = 0;
};

using Int16 = Checked<std::int16_t>;
using Int32 = Checked<std::int32_t>;

// Converts a double to a whole number as the model stores it: the nearest whole number, halves to the even
// neighbour; a value beyond the width is an overflow.
template <typename T>
T RoundToWidth(double v) {
    if (!(v > -9.3e18 && v < 9.3e18)) throw RunError(kOverflow);  // also catches NaN
    return Checked<T>::Fit(static_cast<std::int64_t>(std::nearbyint(v)));  // the default mode rounds halves to even
}

// The cells of a table of N cells. Cells never move, so references to them stay valid. A large table makes
// its cells a page-sized block at a time, when a cell of the block is first written: a song that uses a few
// controllers touches a few pages of the controller table, not all of it. A cell not yet made reads as the
// value of the last Fill.
template <typename T, std::size_t N>
class TableCells {
    static constexpr bool kLazy = N * sizeof(T) > 16384;
    static constexpr std::size_t kBlockCells = std::max<std::size_t>(1, 4096 / sizeof(T));

public:
    TableCells() {
        if constexpr (kLazy) {
            blocks_.resize((N + kBlockCells - 1) / kBlockCells);
        } else {
            cells_.resize(N);
        }
    }

    T& At(std::size_t slot) {
        if constexpr (kLazy) {
            std::vector<T>& block = blocks_[slot / kBlockCells];
            if (block.empty()) block.assign(kBlockCells, fill_);
            return block[slot % kBlockCells];
        }
        return cells_[slot];
    }
    const T& At(std::size_t slot) const {
        if constexpr (kLazy) {
            const std::vector<T>& block = blocks_[slot / kBlockCells];
            return block.empty() ? fill_ : block[slot % kBlockCells];
        }
        return cells_[slot];
    }
    // Cells already made are set; the rest are made with this value when they are first written.
    void Fill(const T& v) {
        fill_ = v;
        cells_.assign(cells_.size(), v);
        for (std::vector<T>& block : blocks_) block.assign(block.size(), v);
    }

private:
    std::vector<T> cells_;                // a small table's cells
    std::vector<std::vector<T>> blocks_;  // a large table's blocks, each empty until written
    T fill_{};
};

// A one-dimensional table with the inclusive index range Lo..Hi.
template <typename T, int Lo, int Hi>
class Table {
public:
    T& operator[](std::int64_t i) { return cells_.At(Slot(i)); }
    const T& operator[](std::int64_t i) const { return cells_.At(Slot(i)); }
    void Fill(const T& v) { cells_.Fill(v); }

private:
    static std::size_t Slot(std::int64_t i) {
        if (i < Lo || i > Hi) throw RunError(kSubscript);
        return static_cast<std::size_t>(i - Lo);
    }
    TableCells<T, Hi - Lo + 1> cells_;
};

// A one-dimensional table from index Lo up that grows with the song: a cell not yet written reads as the value
// of the last Fill, and writing a cell makes the cells up to it. Only an index below Lo is out of bounds.
template <typename T, int Lo>
class GrowingTable {
public:
    T& operator[](std::int64_t i) {
        const std::size_t slot = Slot(i);
        if (slot >= cells_.size()) cells_.resize(std::max(slot + 1, cells_.size() + cells_.size() / 2), fill_);
        return cells_[slot];
    }
    const T& operator[](std::int64_t i) const {
        const std::size_t slot = Slot(i);
        return slot < cells_.size() ? cells_[slot] : fill_;
    }
    void Fill(const T& v) {
        fill_ = v;
        cells_.assign(cells_.size(), v);
    }

private:
    static std::size_t Slot(std::int64_t i) {
        if (i < Lo || i > std::numeric_limits<std::int32_t>::max()) throw RunError(kSubscript);
        return static_cast<std::size_t>(i - Lo);
    }
    std::vector<T> cells_;
    T fill_{};
};

// A table Name(first, second) whose first index grows from 0 with the song and whose second runs 0..Hi2. Each
// row makes only the cells written so far, so many short rows cost little.
template <typename T, int Hi2>
class GrowingTable2 {
public:
    T& operator()(std::int64_t i, std::int64_t j) {
        std::vector<T>& row = rows_[i];
        const std::size_t column = Column(j);
        if (column >= row.size()) row.resize(column + 1, fill_);
        return row[column];
    }
    const T& operator()(std::int64_t i, std::int64_t j) const {
        const std::vector<T>& row = rows_[i];
        const std::size_t column = Column(j);
        return column < row.size() ? row[column] : fill_;
    }
    void Fill(const T& v) {
        fill_ = v;
        rows_.Fill({});
    }

private:
    static std::size_t Column(std::int64_t j) {
        if (j < 0 || j > Hi2) throw RunError(kSubscript);
        return static_cast<std::size_t>(j);
    }
    GrowingTable<std::vector<T>, 0> rows_;
    T fill_{};
};

// A two-dimensional table Name(first, second), both ranges from 0 and inclusive.
template <typename T, int Hi1, int Hi2>
class Table2 {
public:
    T& operator()(std::int64_t i, std::int64_t j) { return cells_.At(Slot(i, j)); }
    const T& operator()(std::int64_t i, std::int64_t j) const { return cells_.At(Slot(i, j)); }
    void Fill(const T& v) { cells_.Fill(v); }

private:
    static std::size_t Slot(std::int64_t i, std::int64_t j) {
        if (i < 0 || i > Hi1 || j < 0 || j > Hi2) throw RunError(kSubscript);
        return static_cast<std::size_t>(i * (Hi2 + 1) + j);
    }
    TableCells<T, (Hi1 + 1) * (Hi2 + 1)> cells_;
};

}  // namespace sonivex
