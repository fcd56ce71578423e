#pragma once
// The production records as CSV for a spreadsheet or another system: a header
// line with the column names, then one line per record, every line ended by CR LF
// and a field quoted when it holds a comma, a quote or a line end (a quote inside
// doubled), as RFC 4180 has it.

#include <string>
#include <vector>

#include "production/ProvisionRecord.h"

namespace zendra {

class RecordCsv {
 public:
  // "id,time,station,port,product,euiAddress,...": the header line, without its end.
  static std::string Header();
  // One record's line, without its end.
  static std::string Line(const ProvisionRecord& record);
  // Header and records, each line ended by CR LF.
  static std::string Document(const std::vector<ProvisionRecord>& records);
  // `field` as one CSV field.
  static std::string Field(const std::string& field);
};

}  // namespace zendra
