/* The data items the phone answers to GetPhoneData, shared by the library and its callers. */
#ifndef QVE_PHONE_DATA_ITEMS_H
#define QVE_PHONE_DATA_ITEMS_H

/* One byte: the USB mode the user selected on the phone (0 Modem ... 5 TET). */
#define QVE_ITEM_SELECTED_MODE 0x10

#endif
