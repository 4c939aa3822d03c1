#pragma once

#include <QPoint>
#include <QRect>
#include <cstdint>
#include <vector>

// Which cells of the screen changed from one picture to the next: a cheap comparison of the rows
// of each cell (it stops at the first difference), with a copy of the last picture kept, in
// which only the cells that changed are written again.
class ScreenChanges
{
public:
    // A place of the screen and where its pixels went.
    struct Move
    {
        QRect place;
        QPoint by;
    };

    // Compares a BGRX picture with the last one; at the first picture, or at a new size, every
    // cell has changed. With the places that may have changed, only the cells they touch are
    // read. With a place moved, by an offset, the last picture is moved so first, as a viewer
    // moves it: the place and where it lands must lie within the places that changed.
    void compare(const std::uint8_t *bgrx, int width, int height, int stride,
                 const std::vector<QRect> *changed = nullptr, const QRect &moved = {},
                 const QPoint &by = {});

    int width() const { return m_width; }
    int height() const { return m_height; }
    int cellColumns() const { return m_columns; }
    int cellRows() const { return m_rows; }
    // Per cell, row by row: whether the last comparison found it changed.
    const std::vector<char> &changed() const { return m_changed; }
    int changedCount() const { return m_changedCount; }
    // Per cell: the bands (bit b: rows 16b to 16b + 15 of the cell) found changed.
    const std::vector<std::uint8_t> &bands() const { return m_bands; }
    // How far up (negative: down) the rows of place moved from the last picture to this BGRX
    // picture, as a page scrolled: 0 where no such move is found. A guess checked on a few rows
    // only: the comparison that follows the move finds whatever it got wrong.
    int findScroll(const std::uint8_t *bgrx, int stride, const QRect &place) const;
    // Where the largest place drawn moved from the last picture to this one, as a page
    // scrolls; an empty place where it did not, or where a viewer could not be told of it.
    Move findMove(const std::uint8_t *bgrx, int stride, const std::vector<QRect> &drawn) const;
    // Whether the last comparison found a change in a cell that none of the places touch.
    bool changedOutside(const std::vector<QRect> &places) const;
    // The last picture, width * 4 bytes a row.
    const std::uint8_t *pixels() const { return m_pixels.data(); }
    int stride() const { return m_width * 4; }

private:
    // Compares columns [left, right] of one line of a row of cells.
    void compareLine(const std::uint8_t *line, int y, int row, int left, int right);
    // Marks the cells no change can have touched as already looked at, and bounds the places
    // drawn on within each row of cells.
    void skipUntouched(const std::vector<QRect> &changed);

    int m_width = 0;
    int m_height = 0;
    int m_columns = 0;
    int m_rows = 0;
    int m_changedCount = 0;
    std::vector<char> m_changed;
    std::vector<char> m_settled;
    std::vector<std::uint8_t> m_bands;
    // Per row of cells: what is compared of it.
    std::vector<QRect> m_spans;
    std::vector<std::uint8_t> m_pixels;
};
