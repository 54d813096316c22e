#pragma once

#include "common/BinData.h"
#include "common/GString.h"
#include "credentials/EnrollmentCompletion.h"
#include "engine/Velgrade.h"

class RegistrationData;
class SEPRegistrationData;

// Enrollment on the engine: a new or recovered profile from a reference
// number and an authorization code, directly through the session library
// (SEPByProxy 0) or in steps posted to the server's sepURL (SEPByProxy 1);
// and a card holder's registration at registerURL, which yields the
// reference number and authorization code encrypted under a key only the
// card holder's machine can derive.
//
// Everything runs on the thread that drives the engine. Passwords and codes
// handed in stay the caller's; every copy made here is overwritten before
// release. Every failure after a request was posted ends in completion.
class EnrollmentManager {
 public:
  // Title of the failures reported through the completion.
  static constexpr char kErrorTitle[] = "Corvask error";
  // The password prompt is shown again after a refusal this many times; the
  // next refusal ends the enrollment.
  static constexpr int kMaxRefusals = 3;

  // Creates (newProfile 1) or recovers (0) the profile at profilePath.
  // Direct route: true when the profile was written (completion has been
  // told and the user signed on). Server route: true when the first step was
  // posted. False after a failure already shown or reported.
  static bool CreateUser(Velgrade& engine, const char* referenceText, const char* authorizationCode,
                         const char* password, const char* profilePath, int newProfile, void* context,
                         EnrollmentCompletion completion);

  // Completion of one posted step; deletes the record (a SEPRegistrationData).
  static void OnSepReply(const GString& head, const BinData& body, void* record);

  // Derives the card holder's key and posts the registration identifier to
  // registerURL. False after message 2054 or 2055, or when the request
  // cannot be made.
  static bool SendRegistration(Velgrade& engine, const char* temporaryPassword, const char* cardText,
                               const char* password, const char* profilePath, int newProfile,
                               EnrollmentCompletion completion, void* context);

  // Completion of the registration request; deletes the record (a
  // RegistrationData).
  static void OnRegistrationReply(const GString& head, const BinData& body, void* record);

  // The value after the first "name=" of body, up to the next "&" or the
  // end. False when there is none or it is empty.
  static bool FindReplyValue(const GString& body, const char* name, GString& value);

  // The decimal value of the leading part of text, limited to 32 bits.
  static int ParseReference(const char* text);

 private:
  enum class RefusalStep { kRetry, kCancelled, kExhausted };

  static bool PostSepStep(Velgrade& engine, const void* token, size_t length, SEPRegistrationData* record);
  static bool PostRequest(Velgrade& engine, const GString& command, const BinData& body,
                          CompletionRoutine completion, void* record);
  // After a refused password: message 2050, the prompt, the count.
  static RefusalStep HandleRefusal(Velgrade& engine, OM_uint32 major, OM_uint32 minor,
                                   const GString& profilePath, int& refusals, GString& password);
  static void LogCreation(Velgrade& engine, const char* profilePath, int reference, int newProfile);
  static bool SetIniFile(Velgrade& engine, OM_uint32& major, OM_uint32& minor);
  static void FinishSepStep(SEPRegistrationData& record, const BinData& body);
  static void CreateDirectly(RegistrationData& record, const GString& referenceText,
                             const GString& authorizationCode);
  static void ReportFailure(EnrollmentCompletion completion, void* context, const GString& message);
};
