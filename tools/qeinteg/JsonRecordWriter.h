// Writes one JSON object whose bulk is an array of records, a record at a time, so that a command
// printing millions of rows never holds them all:
//
//   {
//     "file": "...",             <- the members of `head`, in order
//     "rows": [
//       ["a", 1],                <- one Add each, on its own line
//       ["b", null]
//     ],
//     "rowCount": 2              <- the members of `tail`, in order
//   }
//
// Every value goes through the JSON model's serializer; only the punctuation between members is
// written here.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

namespace qecli {

class JsonRecordWriter {
  public:
    using Json = nlohmann::ordered_json;

    // Writes the opening of the object, `head`'s members and the opening of the array `arrayKey`.
    // `head` must be an object; `out` must outlive the writer.
    JsonRecordWriter(std::ostream& out, const Json& head, const std::string& arrayKey);

    // Appends one element to the array.
    void Add(const Json& record);
    // Closes the array, writes `tail`'s members (an object, may be empty) and ends the object.
    // Later calls do nothing.
    void Finish(const Json& tail);

    std::size_t Count() const { return count_; }

  private:
    std::ostream& out_;
    std::size_t count_ = 0;
    bool finished_ = false;
};

}  // namespace qecli
