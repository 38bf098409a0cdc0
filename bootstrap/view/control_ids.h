// Resource and control ids of the program's dialogs, as the resource script defines them.
#pragma once

enum : int {
  kIdQuestion = 1001,
  kIdYes = 1002,
  kIdNo = 1003,
  kIdProgress = 1004,
  kIdStatus = 1005,
  kIdCancel = 1006,
  kIdLicenceHeading = 1007,
  kIdLicenceHint = 1008,
  kIdAccept = 1009,
  kIdDecline = 1010,
  kIdHeaderStrip = 1011,
  kIdLeftPicture = 1012,
  kIdRightPicture = 1013,
  kIdLicenceText = 1015,
};

enum : unsigned {
  kMainDialogTemplate = 102,
  kInitDialogTemplate = 130,
  kProgramIcon = 128,
  kLeftHeaderBitmap = 131,
  kRightHeaderBitmap = 132,
};
