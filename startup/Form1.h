// The program's one object: the run state and the dictionary-set operations.
#pragma once

#include <cstdint>
#include <string>

class Form1 {
 public:
  // exFlag is a 16-bit boolean: 0 is false, -1 is true.
  static constexpr std::int16_t kFalse = 0;
  static constexpr std::int16_t kTrue = -1;

  std::u16string DicName;        // edition name: a slot holding it is this very dictionary
  std::u16string DicNameEx;      // family name: a slot holding it is any edition of the dictionary
  std::u16string DicPath;        // the dictionary file path (or the removal switch)
  std::int16_t exFlag = kFalse;  // true once a dictionary set took the dictionary
  bool keptFlag = false;         // true once removal could not empty an entry of the family

  // Registration: in every in-use set of every profile, the first slot 2 to 9 that already
  // holds this edition or is free receives "ON,0," and the upper-cased path. A set counts as
  // taking the dictionary only once that write succeeded.
  void SetAtok25();
  void SetSub(const std::u16string& profile);
  void SetDicSet(const std::u16string& setKey);
  std::u16string FoundSpace(const std::u16string& setKey);

  // Removal: every slot 2 to 9 of every in-use set that holds any edition is emptied; a write
  // that fails, or a set that refuses to be changed while it holds an edition, sets keptFlag
  // and the walk goes on.
  void DelAtok25();
  void DelSub(const std::u16string& profile);
  void DelDicSet(const std::u16string& setKey);
};
