#include "validation/FieldValidation.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

CvFieldInfo Record(uint32_t dialog, uint32_t control) {
  return CvFieldInfo{sizeof(CvFieldInfo), dialog, control, 1, 2, 3};
}

TEST(FieldValidationTest, GivesTheLengthRulesOfTheSetupFields) {
  const struct {
    uint32_t size, dialog, control;
    int result;
    uint32_t minimum, maximum, message;
  } cases[] = {
      {24, 141, 1007, 1, 8, 8, 140},
      {24, 141, 1008, 1, 16, 16, 150},
      {32, 141, 1008, 1, 16, 16, 150},  // a larger record is fine
      {24, 141, 1009, 0, 1, 2, 3},
      {24, 141, 1010, 0, 1, 2, 3},
      {24, 140, 1007, 0, 1, 2, 3},
      {24, 163, 1008, 0, 1, 2, 3},
      {20, 141, 1007, 0, 1, 2, 3},
      {0, 141, 1008, 0, 1, 2, 3},
  };
  for (const auto& c : cases) {
    CvFieldInfo record = Record(c.dialog, c.control);
    record.size = c.size;
    const CvFieldInfo before = record;
    EXPECT_EQ(CvGetFieldInfo(&record), c.result) << c.size << " " << c.dialog << " " << c.control;
    EXPECT_EQ(record.minimumLength, c.minimum);
    EXPECT_EQ(record.maximumLength, c.maximum);
    EXPECT_EQ(record.message, c.message);
    EXPECT_EQ(record.size, before.size);
    EXPECT_EQ(record.dialog, before.dialog);
    EXPECT_EQ(record.control, before.control);
  }
  EXPECT_EQ(CvGetFieldInfo(nullptr), 0);
}

TEST(FieldValidationTest, ReadsOnlyTheSizeOfAShortRecord) {
  uint32_t shortRecord[1] = {20};
  EXPECT_EQ(CvGetFieldInfo(reinterpret_cast<CvFieldInfo*>(shortRecord)), 0);
}

TEST(FieldValidationTest, DigitFieldsRefuseOtherPrintableCharacters) {
  const struct {
    int dialog, control, character, result;
  } cases[] = {
      {141, 1008, 'a', 0},  {141, 1008, '-', 0},  {141, 1008, '7', 1},  {141, 1008, 8, 1},
      {141, 1008, ' ', 0},  {141, 1008, '#', 0},  {141, 1008, 'Z', 0},  {141, 1008, '\t', 1},
      {141, 1008, 0, 1},    {141, 1008, 127, 1},  {141, 1008, 200, 1},  {141, 1008, -1, 1},
      {141, 1008, 0x130, 1}, {141, 1007, 'a', 0}, {141, 1007, '0', 1},  {141, 1007, '.', 0},
      {141, 1009, 'a', 1},  {141, 1010, '-', 1},  {163, 1008, 'a', 1},  {0, 0, 'x', 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CvValidateChar(c.dialog, c.control, nullptr, c.character), c.result)
        << c.dialog << " " << c.control << " " << c.character;
  }
}

TEST(FieldValidationTest, AcceptsEveryFieldText) {
  EXPECT_EQ(CvValidateField(141, 1008, nullptr, "12345"), 0);
  EXPECT_EQ(CvValidateField(141, 1008, nullptr, "not digits"), 0);
  EXPECT_EQ(CvValidateField(141, 1007, nullptr, ""), 0);
  EXPECT_EQ(CvValidateField(141, 1008, nullptr, nullptr), 0);
  EXPECT_EQ(CvValidateField(5, 6, nullptr, "x"), 0);
}

}  // namespace
