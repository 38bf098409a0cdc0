// The dialogs' resource and control ids under the names the code uses; the numbers come from the
// resource script's header, so there is one source for both.
#pragma once

#include "bootstrap/res/resource.h"

enum : int {
  kIdQuestion = IDC_STATIC_QUESTION,
  kIdYes = IDC_BUTTON_YES,
  kIdNo = IDC_BUTTON_NO,
  kIdProgress = IDC_PROGRESS,
  kIdStatus = IDC_STATIC_STATUS,
  kIdCancel = IDC_BUTTON_CANCEL,
  kIdLicenceHeading = IDC_STATIC_LICENSE_TITLE,
  kIdLicenceHint = IDC_STATIC_LICENSE_HINT,
  kIdAccept = IDC_RADIO_ACCEPT,
  kIdDecline = IDC_RADIO_DECLINE,
  kIdHeaderStrip = IDC_STATIC_HEADER,
  kIdLeftPicture = IDC_PICTURE_LEFT,
  kIdRightPicture = IDC_PICTURE_RIGHT,
  kIdLicenceText = IDC_EDIT_LICENSE,
};

enum : unsigned {
  kMainDialogTemplate = IDD_PX_BOOTSTRAP_DIALOG,
  kInitDialogTemplate = IDD_INIT_DIALOG,
  kProgramIcon = IDR_MAINFRAME,
  kLeftHeaderBitmap = IDB_HEADER_LEFT,
  kRightHeaderBitmap = IDB_HEADER_RIGHT,
  kLeftHeaderLargeBitmap = IDB_HEADER_LEFT_200,  // the same pictures drawn at 200 %
  kRightHeaderLargeBitmap = IDB_HEADER_RIGHT_200,
};
