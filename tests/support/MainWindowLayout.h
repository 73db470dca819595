// Where the main window's visible controls stand and what they say, as a
// user sees them: one table for the tests of every renderer.
#pragma once

#include <string>
#include <vector>

#include "app/MainForm.h"

namespace vornex::test {

struct TPlaced {
  const TControl& Control;
  TRect Where;  // in its container's client area
  std::string Caption;
};

inline std::vector<TPlaced> VisibleControls(const TMainForm& f) {
  return {
      {f.GroupBox4, {4, 4, 261, 53}, "Select a Download File"},
      {f.EdFileName, {7, 19, 150, 21}, "FileName"},
      {f.BuBrowse, {160, 19, 65, 19}, "Browse"},
      {f.GroupBox5, {4, 59, 261, 50}, "Select a Port "},
      {f.ComboBox1, {7, 19, 150, 21}, "COM1"},
      {f.BuSetupCom, {160, 19, 65, 19}, "Port setup"},
      {f.GroupBox3, {4, 111, 261, 61}, "Process"},
      {f.PBPer, {11, 33, 150, 16}, ""},
      {f.BuStart, {22, 175, 68, 23}, "Start"},
      {f.BuCancel, {93, 175, 70, 23}, "Cancel"},
      {f.BuExit, {165, 175, 64, 23}, "Exit"},
  };
}

// Labels are sized to their captions: only their top-left corners are fixed.
struct TLabelAt {
  const TLabel& Label;
  int X, Y;
};

inline std::vector<TLabelAt> VisibleLabels(const TMainForm& f) {
  return {{f.LaTOK, 33, 15}, {f.LaSendCount, 100, 7}, {f.LaSendCountTotal, 95, 19}, {f.LaSendPer, 167, 33},
          {f.Label5, 186, 33}};
}

}  // namespace vornex::test
