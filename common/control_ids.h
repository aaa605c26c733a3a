/* Control and timer identifiers of the main window, named in one place for the
   code and for the resource script (which understands only #define). */
#ifndef DFUT_CONTROL_IDS_H
#define DFUT_CONTROL_IDS_H

#define PORT_LIST_ID 3
#define UPDATE_BUTTON_ID 4
#define STATUS_FIELD_ID 5
#define TICK_TIMER_ID 6

#endif
