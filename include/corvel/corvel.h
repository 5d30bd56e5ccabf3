// SPDX-License-Identifier: GPL-3.0-or-later
/* The library's whole interface: 52 functions over opaque handles, and the events it posts. Additions come
 * as further codes of existing functions (VELQ_DEV_STATUS_WORDS, VELQ_DEV_QUERY_STATUS_WORDS), never as
 * further exports.
 *
 * Every function is called from the client's one user-interface thread. Results: 1 (or a handle) for
 * success, 0 (or null) for failure; the information getters return -1 when the session is not logged in.
 * No function validates its handle: null or released handles are caller errors. Everything asynchronous
 * arrives as the message given to VelqApp_Construct, posted to its window with the event code in wParam and
 * the value in lParam; the library never waits for the client. */
#ifndef CORVEL_CORVEL_H
#define CORVEL_CORVEL_H

#include <stdint.h>

#ifdef __cplusplus
#include <cstddef>
#include "corvel/window.h"
extern "C" {
#else
#include <uchar.h>
#include "corvel/window.h"
#endif

#if defined(CORVEL_BUILDING_LIBRARY)
#define CORVEL_API __attribute__((visibility("default")))
#else
#define CORVEL_API
#endif

typedef struct AppSession AppSession;
typedef struct AppDevice AppDevice;
typedef struct AppChannel AppChannel;
typedef struct AppOperation AppOperation;

/* Message number the client passes to VelqApp_Construct: the user-message base plus 272. */
#define VELQ_MESSAGE 1296

/* Event codes (wParam). */
#define VELQ_EV_CONNECT_FAILED 1     /* 0: connection failed or lost; retry after 5 s */
#define VELQ_EV_CONNECTING 2         /* 0: connecting to the center server */
#define VELQ_EV_BAD_MAGIC 3          /* 0: reply without the protocol magic; the service stops */
#define VELQ_EV_REJECTED 4           /* 0: rejection reply; the service stops */
#define VELQ_EV_LOGIN_OK 5           /* 0: login accepted */
#define VELQ_EV_LOGIN_VERSION 6      /* server version: login accepted, other protocol version */
#define VELQ_EV_OPERATION_DONE 64    /* operation handle, client owns: VelqOpt_Release */
#define VELQ_EV_OPERATION_FAILED 65  /* operation kind: failure reply */
#define VELQ_EV_OPERATION_REFUSED 66 /* operation kind: refused (result 1) */
#define VELQ_EV_LIST_BEGIN 128       /* record count: a device list begins */
#define VELQ_EV_DEVICE_NEW 129       /* device handle, session owns */
#define VELQ_EV_DEVICE_CHANGED 130   /* device handle: listed again */
#define VELQ_EV_DEVICE_GONE 131      /* device handle: not in the latest list */
#define VELQ_EV_ALL_BEGIN 144        /* record count: a VelqOpt_QueryAllDevice reply begins */
#define VELQ_EV_ALL_DEVICE 145       /* device handle, client owns: VelqDev_Release */
#define VELQ_EV_STATUS_FIRST 160     /* 160 + n, device handle: status word n changed */
#define VELQ_EV_STATUS_LAST 175
#define VELQ_EV_MEDIA_FAILED 192      /* channel handle: media set-up failed or lost; retry in 5 s */
#define VELQ_EV_MEDIA_ROUTE 193       /* channel handle: asking the center server for a route */
#define VELQ_EV_MEDIA_FIRST_FRAME 194 /* channel handle: first video frame of the stream */
#define VELQ_EV_MEDIA_RECV_FAILED 195 /* channel handle: receiving from the transfer server failed */
#define VELQ_EV_MEDIA_REFUSED 196     /* channel handle: the transfer server refused the stream */

/* VelqDev_GetDevInfo / VelqDev_SetDevInfo codes. */
#define VELQ_DEV_ID 0
#define VELQ_DEV_TEXT1 1
#define VELQ_DEV_TEXT2 2
#define VELQ_DEV_CHANNELS 3
#define VELQ_DEV_STATE 4
#define VELQ_DEV_LAST_REPORT 5
#define VELQ_DEV_GPS_RUNNING 6
#define VELQ_DEV_POSITION 7
/* Additions, far from the codes above; see VelqDev_GetDevInfo and VelqDev_SetDevInfo. */
#define VELQ_DEV_STATUS_WORDS 0x5700
#define VELQ_DEV_QUERY_STATUS_WORDS 0x5701
#define VELQ_DEV_PRE_RECORD_SECONDS 0x5702

/* VelqChn_GetChnInfo codes. */
#define VELQ_CHN_DEVICE 0
#define VELQ_CHN_NUMBER 1
#define VELQ_CHN_WINDOW 2
#define VELQ_CHN_VIDEO 3
#define VELQ_CHN_AUDIO 4
#define VELQ_CHN_TALK 5
#define VELQ_CHN_FRAMES 6
#define VELQ_CHN_KBPS 7
#define VELQ_CHN_WIDTH 8
#define VELQ_CHN_HEIGHT 9
#define VELQ_CHN_RECORDING 10

/* Operation kinds (VelqOpt_GetType) and control types (VelqOpt_QueryControl). */
#define VELQ_OP_SHOW_ALL 0
#define VELQ_OP_ADD_DEVICE 64
#define VELQ_OP_MODIFY_DEVICE 66
#define VELQ_OP_POSITION 67
#define VELQ_OP_QUERY_ALL 68
#define VELQ_CTL_GET_RESOLUTION 129
#define VELQ_CTL_SET_RESOLUTION 130
#define VELQ_CTL_GET_FRAME_RATE 131
#define VELQ_CTL_SET_FRAME_RATE 132
#define VELQ_CTL_GET_QUALITY 133
#define VELQ_CTL_SET_QUALITY 134
#define VELQ_CTL_GET_BIT_RATE 135
#define VELQ_CTL_SET_BIT_RATE 136
#define VELQ_CTL_PTZ 142

/* ---- Session ---- */
/* "V103" as a little-endian integer: 858796374. */
CORVEL_API int VelqApp_GetVersion(void);
/* A session posting its events to `window` with `message`; null only when memory runs out. */
CORVEL_API AppSession* VelqApp_Construct(VelqWindow* window, uint32_t message);
/* Destroys the session (logging out first if still logged in); null is ignored. */
CORVEL_API void VelqApp_Destruct(AppSession* session);
/* Stores host (at most 259 bytes) and ports; 0 while logged in. */
CORVEL_API int VelqApp_SetCenterServer(AppSession* session, const char* host, uint16_t tcp_port,
                                       uint16_t udp_port);
/* Stores the credentials (31 bytes each at most) and starts the center-server services; 0 while logged in
 * or when a service does not start. The server's answer arrives as events 1 to 6. */
CORVEL_API int VelqApp_Login(AppSession* session, const char* user, const char* password);
/* Stops the services and releases every registered device with its channels; their handles die. */
CORVEL_API int VelqApp_Logout(AppSession* session);
/* 1 while logged in (from a successful VelqApp_Login to VelqApp_Logout). */
CORVEL_API int VelqApp_IsActive(AppSession* session);
/* Queues a device-list request; its reply posts events 128 to 131. */
CORVEL_API int VelqApp_ShowAllDevice(AppSession* session);
/* A device of state 0 with this identifier (at most 63 bytes), for VelqOpt_QueryModify or VelqDev_Release. */
CORVEL_API AppDevice* VelqApp_CreateDevice(AppSession* session, const char* id);
/* Parses a $GPRMC sentence; 1 for a valid fix. Each out pointer may be null. Needs no session. */
CORVEL_API int VelqApp_GPRMC(const char* sentence, double* latitude, double* longitude, double* speed_kmh,
                             double* course);

/* ---- Device ---- */
/* Sets code 0 (identifier, state 0 only), 1, 2 (texts) or 3 (channel count, state 0 only); returns length or
 * 0.
 * An addition that leaves these codes and the rule for other codes unchanged, opted into by the client:
 * VELQ_DEV_QUERY_STATUS_WORDS, on any device of a logged-in session (a state-0 one from VelqApp_CreateDevice
 * will do; value may be null, length 0), queues a status request from stamp 0 for the whole session and
 * returns 1 (0 when not logged in or no request is free). Its reply gives every device its words as the
 * server holds them now (VELQ_DEV_STATUS_WORDS), so words a device already had before the login are known.
 * Its records newer than those applied are applied as usual (events by the usual rule); older ones only
 * refresh the words VELQ_DEV_STATUS_WORDS reads, post nothing and leave the stamps alone; records naming a
 * device not yet listed are kept (at most 65,536) until a list registers it. Ask after each login is accepted
 * (events 5 and 6), after VelqApp_ShowAllDevice.
 * Another such addition: VELQ_DEV_PRE_RECORD_SECONDS with value an int32_t of 0..60 seconds (length 4; 0 =
 * off, the default) on a device of a logged-in session: every channel of the device whose video runs, now or
 * later, keeps its last `seconds` of received video frames in memory, from a key frame on (no audio), each
 * with its receive time; at most seconds * 400 KiB a channel (4000 KiB for 10 s; 10 s of CIF at a few
 * hundred kbit/s hold well under 1 MiB), dropping its oldest key-frame groups beyond that. The next
 * VelqChn_RecordStart's first file begins with those frames, their receive times in its time file, then goes
 * on live. The buffer is filled and emptied by the channel's video thread, which takes the value at its next
 * frame; it is freed when the value goes back to 0. Returns 4; 0 for a value out of range or a length other
 * than 4; -1 when not logged in. Every AVI the recorder writes (each file of a split recording too) has a
 * time file beside it, named as the AVI + ".times": the wall-clock receive time of its frames and every pause
 * of video of 2 s or more, each line written at once, so a killed process keeps what it wrote;
 * corvel/record_times.h reads it. */
CORVEL_API int VelqDev_SetDevInfo(AppDevice* device, int code, const void* value, int length);
/* Copies text codes (0, 1, 2, 7) into the buffer and returns their length; integer codes (3..6) write 4 bytes
 * and return 4; -1 when not logged in; 0 for another code or a buffer too small for the value and its NUL
 * (nothing is written past buffer_size).
 * An addition that leaves these codes and the rule for other codes unchanged: VELQ_DEV_STATUS_WORDS writes
 * seventeen uint32_t (68 bytes, no alignment needed): the device's sixteen status words exactly as the latest
 * status record carried them, zeros included, then the device's status serial; returns 68, 0 when
 * buffer_size is below 68, -1 when not logged in. So a caller sees a word go back to 0 and, after
 * VELQ_DEV_QUERY_STATUS_WORDS, the words a device already had at login; events 160 to 175 keep their rule
 * (only a change from one non-zero value to another posts one). The serial is 0 until the first status
 * record of the device arrives, becomes 1 with it and grows by one each time a later record changes any of
 * the words, so a caller polling many devices can skip those that did not change. It copies under the
 * device's own lock, held by the network thread only for the copy of one record, and never waits for the
 * network. VELQ_DEV_PRE_RECORD_SECONDS writes the int32_t set by VelqDev_SetDevInfo and returns 4 (0 when
 * buffer_size is below 4, -1 when not logged in). */
CORVEL_API int VelqDev_GetDevInfo(AppDevice* device, int code, void* buffer, int buffer_size);
/* Exchanges the client's value stored in the device; returns the previous one. */
CORVEL_API int32_t VelqDev_SetUserData(AppDevice* device, int32_t value);
CORVEL_API int32_t VelqDev_GetUserData(AppDevice* device);
/* The device position stream is not started by this version: returns 0. */
CORVEL_API int VelqDev_GPSPlay(AppDevice* device);
CORVEL_API void VelqDev_GPSStop(AppDevice* device);
/* Gives a device of state 0 back to the pool; a registered device is left alone. */
CORVEL_API void VelqDev_Release(AppDevice* device);
/* A channel (number counted from 1) drawing into `window`; null when not logged in or the device is state 0.
 */
CORVEL_API AppChannel* VelqDev_CreateChannel(AppDevice* device, int channel, VelqWindow* window);

/* ---- Channel ---- */
/* Writes the value of a code (0 device handle, 1 number, 2 window, 3..5 playing flags, 6 frames, 7 kbit/s,
 * 8 width, 9 height, 10 recording) and returns 4; 0 for another code; -1 when not logged in. */
CORVEL_API int VelqChn_GetChnInfo(AppChannel* channel, int code, intptr_t* value);
/* Each returns the previous value in the low 32 bits and the new one in the high 32 bits. */
CORVEL_API uint64_t VelqChn_SetBkColor(AppChannel* channel, uint32_t color_bgr);
CORVEL_API uint64_t VelqChn_ShowVerbose(AppChannel* channel, int on);
CORVEL_API uint64_t VelqChn_SetBufKeep(AppChannel* channel, int tenths_of_second);
CORVEL_API int VelqChn_VideoPlay(AppChannel* channel);
CORVEL_API void VelqChn_VideoStop(AppChannel* channel);
CORVEL_API int VelqChn_IsVideoPlaying(AppChannel* channel);
CORVEL_API int VelqChn_VSourceStart(AppChannel* channel);
CORVEL_API void VelqChn_VSourceStop(AppChannel* channel);
CORVEL_API int VelqChn_IsVSourceRunning(AppChannel* channel);
CORVEL_API int VelqChn_AudioPlay(AppChannel* channel);
CORVEL_API void VelqChn_AudioStop(AppChannel* channel);
CORVEL_API int VelqChn_IsAudioPlaying(AppChannel* channel);
CORVEL_API int VelqChn_ASourceStart(AppChannel* channel);
CORVEL_API void VelqChn_ASourceStop(AppChannel* channel);
CORVEL_API int VelqChn_IsASourceRunning(AppChannel* channel);
CORVEL_API int VelqChn_TalkStart(AppChannel* channel);
CORVEL_API void VelqChn_TalkStop(AppChannel* channel);
CORVEL_API int VelqChn_IsTalking(AppChannel* channel);
/* Path in UTF-16 (at most 259 units); max_duration_s per file, 0 = one file. 1 at once if already recording.
 */
CORVEL_API int VelqChn_RecordStart(AppChannel* channel, const char16_t* path, int max_duration_s);
CORVEL_API int VelqChn_RecordStop(AppChannel* channel);
CORVEL_API int VelqChn_IsRecording(AppChannel* channel);
/* Only while video plays: stores the path unless a snapshot is pending; returns whether video plays. */
CORVEL_API int VelqChn_Snapshot(AppChannel* channel, const char16_t* path);
CORVEL_API void VelqChn_Refresh(AppChannel* channel);
/* Closes the one-second statistics period; returns the audio kbit/s. */
CORVEL_API int VelqChn_OnTimer(AppChannel* channel);
/* Stops everything and gives the channel back to the pool (only while logged in). */
CORVEL_API void VelqChn_Release(AppChannel* channel);

/* ---- Operations ---- */
/* Every request to the center server (these queries, VelqApp_ShowAllDevice, VELQ_DEV_QUERY_STATUS_WORDS)
 * takes one of the session's operation records. A session holds at most 4096 of them at once (queued, in
 * flight, or received with event 64 and not yet released): beyond that a request fails with 0, as when memory
 * runs out. */
CORVEL_API int VelqOpt_QueryAllDevice(AppSession* session);
/* Adds (state 0) or modifies the device on the server. On failure a device of state 0 goes back to the pool.
 */
CORVEL_API int VelqOpt_QueryModify(AppDevice* device);
CORVEL_API int VelqOpt_QueryControl(AppDevice* device, int type, int channel, int value, int value2);
CORVEL_API AppDevice* VelqOpt_GetDevice(AppOperation* operation);
CORVEL_API int VelqOpt_GetType(AppOperation* operation);
/* The position text of a kind-67 operation, else null. */
CORVEL_API const void* VelqOpt_GetGPSResult(AppOperation* operation);
/* For control kinds (above 128): the reply's channel, value and second value; each pointer may be null. */
CORVEL_API int VelqOpt_GetControlResult(AppOperation* operation, int* channel, int* value, int* value2);
/* Gives an operation received with event 64 back to the session's pool. */
CORVEL_API void VelqOpt_Release(AppSession* session, AppOperation* operation);

#ifdef __cplusplus
}
#endif

#endif
