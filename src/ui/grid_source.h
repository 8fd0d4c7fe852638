#pragma once
#include <cstddef>
#include <string>
namespace cloakwise::ui {
// What a grid shows: rows of text cells under a header. Read on the
// user-interface thread; an implementation shared with workers locks inside.
class GridSource {
 public:
  virtual ~GridSource() = default;
  // Rows under the header, the blank row of an empty list included.
  virtual std::size_t RowCount() const = 0;
  virtual std::string Cell(std::size_t row, int column) const = 0;  // row 0 is the first under the header
  virtual std::string Header(int column) const = 0;
};
}  // namespace cloakwise::ui
