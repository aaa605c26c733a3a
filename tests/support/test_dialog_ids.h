/* Identifiers of the test dialog's controls, for the script and the tests. */
#ifndef DFUT_TEST_DIALOG_IDS_H
#define DFUT_TEST_DIALOG_IDS_H

#define TEST_LIST_ID 3
#define TEST_BUTTON_ID 4
#define TEST_FIELD_ID 5

#endif
