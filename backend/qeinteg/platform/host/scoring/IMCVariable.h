// A variable of a score computer: one of the model's inputs or outputs.
#pragma once

#include <string>

namespace MCXML_910 {

class IMCVariable {
  public:
    virtual ~IMCVariable() = default;
    // The variable's name, UTF-8, as the model document writes it.
    virtual const std::string& GetName() const = 0;
    // How its values travel in a record: MCCommon_910::Value::Type (1 integer, 2 double,
    // 3 string).
    virtual int GetValueType() const = 0;
    // What the values mean, as a host storage code: 1 integer, 2 real, 3 string, 4 date (host
    // seconds), 5 time (seconds), 6 timestamp (host seconds).
    virtual int GetStorage() const = 0;
};

}  // namespace MCXML_910
