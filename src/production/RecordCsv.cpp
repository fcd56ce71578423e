#include "production/RecordCsv.h"

#include <cstdio>
#include <iterator>

namespace zendra {

std::string RecordCsv::Field(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string RecordCsv::Header() {
  return "id,time,station,port,product,euiAddress,firmwareBefore,firmwareAfter,imageSha256,"
         "configSha256,verify,seconds,outcome,failedStep,message";
}

std::string RecordCsv::Line(const ProvisionRecord& r) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
  const std::string fields[] = {std::to_string(r.id),
                                r.time,
                                r.station,
                                r.port,
                                r.product,
                                r.euiAddress,
                                r.firmwareBefore,
                                r.firmwareAfter,
                                r.imageSha256,
                                r.configSha256,
                                r.verify,
                                seconds,
                                r.outcome,
                                r.failedStep,
                                r.message};
  std::string line = Field(fields[0]);
  for (std::size_t i = 1; i < std::size(fields); ++i) line += "," + Field(fields[i]);
  return line;
}

std::string RecordCsv::Document(const std::vector<ProvisionRecord>& records) {
  std::string text = Header() + "\r\n";
  for (const auto& record : records) text += Line(record) + "\r\n";
  return text;
}

}  // namespace zendra
