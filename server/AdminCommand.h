#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

// velgrade-admin: the organisation's tooling for its certification
// authority and its profiles.
//
//   create-ca --dir D --name DN [--days N] [--force]
//   issue --ca D --name DN (--password-file F | --password-stdin) --out P.epf
//         [--days N] [--server] [--force]
//   show P.epf
//   register-enrollment, register-card, serve-enrollment (EnrollmentAdmin)
//
// Run returns the exit status: 0 done, 1 the operation failed, 2 the command
// line is wrong. Messages go to err, results to out.
class AdminCommand {
 public:
  static int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

 private:
  using Options = std::map<std::string, std::string>;

  static bool ParseOptions(const std::vector<std::string>& arguments, Options& options,
                           std::vector<std::string>& positional, std::string& error);
  static bool ParseDays(const Options& options, long fallback, long& days, std::string& error);
  static int CreateAuthority(const Options& options, std::ostream& out, std::ostream& err);
  static int Issue(const Options& options, std::ostream& out, std::ostream& err);
  static int Show(const std::vector<std::string>& positional, std::ostream& out, std::ostream& err);
  static void PrintUsage(std::ostream& stream);
};
