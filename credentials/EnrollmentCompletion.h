#pragma once

// How an enrollment reports its end to the user interface: (1, profile
// path, password) on success, (0, title, message) on failure. The texts are
// valid during the call only. context is the one given when the enrollment
// was started.
using EnrollmentCompletion = void (*)(int success, const char* text1, const char* text2, void* context);
