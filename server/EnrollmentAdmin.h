#pragma once

#include <map>
#include <ostream>
#include <string>

// The enrollment commands of velgrade-admin:
//
//   register-enrollment --ca D --ref N --auth CODE --name DN
//   register-card --ca D --card NUMBER --temp-password P [--field2 X] [--field3 Y]
//                 --ref N --auth CODE --name DN
//   serve-enrollment --ca D --listen 127.0.0.1:PORT
//
// A card holder's entry holds the reference number and authorization code
// encrypted under the key derived from card text and temporary password;
// the pending enrollment of the reference number is registered beside it.
// Each returns the exit status of AdminCommand::Run.
class EnrollmentAdmin {
 public:
  using Options = std::map<std::string, std::string>;

  static int RegisterEnrollment(const Options& options, std::ostream& out, std::ostream& err);
  static int RegisterCard(const Options& options, std::ostream& out, std::ostream& err);
  static int Serve(const Options& options, std::ostream& out, std::ostream& err);

 private:
  static bool ParseReference(const std::string& text, int32_t& reference);
  static int AddEnrollment(const Options& options, int32_t reference, std::ostream& err);
};
