/*
 * The device search library: finds the maker's devices on the local link over
 * UDP multicast and carries configuration requests to a device named by its
 * MAC. The wire protocol is described in docs/protocol.md.
 *
 * Threads: the library runs one thread of its own, which receives, runs the
 * timers and calls the callback. Every function below may be called from any
 * other thread while it runs. None of them may be called from inside the
 * callback except LORVEX_SEARCH_Manual, LORVEX_SEARCH_StartAuto,
 * LORVEX_SEARCH_StopAuto and LORVEX_SET_CONFIG (which do not wait).
 */

#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The event codes the callback receives; the numbers are part of the
 * library's interface.
 */
/* A device answered a search: its first answer after LORVEX_SEARCH_StartAuto
 * or LORVEX_SEARCH_Manual, or a new device. */
#define LORVEX_SEARCH_EVENT_ANSWER 1
/* A device is gone: it missed three automatic rounds in a row. */
#define LORVEX_SEARCH_EVENT_GONE 2
/* A device's answer changed (see docs/protocol.md for the rule). */
#define LORVEX_SEARCH_EVENT_CHANGED 3
/* A device answered LORVEX_SET_CONFIG. */
#define LORVEX_SEARCH_EVENT_CONFIG 10000

/*
 * Called on the library's thread for every event.
 *   mac   "AA:BB:CC:DD:EE:FF", upper case, NUL-terminated, in a buffer of 18
 *         bytes that the callee may rewrite; valid only during the call.
 *   event one of the LORVEX_SEARCH_EVENT_* codes above.
 *   xml   the device's NUL-terminated document (multicastSearchResult); for
 *         LORVEX_SEARCH_EVENT_GONE the empty text. Valid only during the call.
 *   user  the context given to LORVEX_SEARCH_Initial.
 */
typedef void (*LORVEX_SEARCH_CALLBACK)(char* mac, int event, const char* xml, void* user);

/*
 * Opens the socket, joins the search group on every up, multicast-capable,
 * non-loopback IPv4 interface and starts the library thread. No search runs
 * until LORVEX_SEARCH_StartAuto or LORVEX_SEARCH_Manual.
 *   batch  how many datagrams the thread takes from the socket per system
 *          call (the caller passes 96); clamped to 1..1024.
 * A second call without LORVEX_SEARCH_Quit in between is ignored. When the
 * socket cannot be opened the library stays stopped and the other functions
 * do nothing.
 */
void LORVEX_SEARCH_Initial(LORVEX_SEARCH_CALLBACK callback, void* user, int batch);

/*
 * Starts automatic search: a round now and then one every `seconds` seconds
 * (clamped to 1..86400). Every device that answers the first round is
 * reported with LORVEX_SEARCH_EVENT_ANSWER. A value below 1 only stops automatic search.
 */
void LORVEX_SEARCH_StartAuto(int seconds);

/* Stops automatic search; answers to its open round are no longer taken. */
void LORVEX_SEARCH_StopAuto(void);

/*
 * One search round now, independent of automatic search; every device that
 * answers within 2000 ms is reported with LORVEX_SEARCH_EVENT_ANSWER.
 */
void LORVEX_SEARCH_Manual(void);

/*
 * Stops the thread, joins it and closes the socket. When it returns no
 * callback runs any more. Safe to call when not initialised.
 */
void LORVEX_SEARCH_Quit(void);

/* The longest configuration document that fits one datagram, in bytes. */
#define LORVEX_SEARCH_MAX_CONFIG_BYTES 3978

/*
 * Sends the NUL-terminated configuration document `xml` (a searchSetIP
 * element) to the device with MAC `mac`. The device's answer, if it sends
 * one within 5 s, arrives as LORVEX_SEARCH_EVENT_CONFIG; any other reply is
 * dropped.
 * Documents longer than LORVEX_SEARCH_MAX_CONFIG_BYTES are not sent (the
 * caller checks the length first).
 */
void LORVEX_SET_CONFIG(const unsigned char mac[6], const char* xml);

/*
 * Asks the device with MAC `mac` to restore its factory state and waits
 * up to 3000 ms for its acknowledgement. Returns 1 only for an
 * acknowledgement of this very request that reports the restore done, else 0
 * (LORVEX_TRUST_Restore tells why).
 */
int LORVEX_SET_DevRestoreDefault(const unsigned char mac[6]);

/*
 * Device identity (docs/protocol.md, "Device identity"). The library trusts
 * maker keys from the folder "trust-anchors" beside the program and from the
 * folder named by the environment variable LORVEX_TRUST_DIR, read at
 * LORVEX_SEARCH_Initial.
 */
#define LORVEX_IDENTITY_UNKNOWN 0    /* no authentic answer from this MAC this session */
#define LORVEX_IDENTITY_VERIFIED 1   /* its key is certified by a trusted maker key */
#define LORVEX_IDENTITY_UNVERIFIED 2 /* a key no trusted maker certified */
#define LORVEX_IDENTITY_CONFIRMED 3  /* such a key, confirmed by the user this session */
#define LORVEX_IDENTITY_CONFLICT 4   /* two different keys answered for this MAC */
#define LORVEX_FINGERPRINT_BYTES 40  /* "XXXX:" * 8, the last without colon, and NUL */

/*
 * The identity state of the device with MAC `mac`; when `fingerprint` is not
 * null and the state is not UNKNOWN, the fingerprint of the key the library
 * holds for it is written there (LORVEX_FINGERPRINT_BYTES bytes, NUL-terminated).
 * Secrets (LORVEX_SET_CONFIG, LORVEX_TRUST_Activate, LORVEX_TRUST_Identify,
 * LORVEX_TRUST_SnapshotToken) are sent only in the
 * states VERIFIED and CONFIRMED; in any other the request is dropped unsent.
 * To a CONFIRMED key a secret goes only after the answer window of a probe
 * to its MAC: a certified key that answers then puts the MAC in CONFLICT
 * and the request is dropped unsent.
 */
int LORVEX_TRUST_Identity(const unsigned char mac[6], char* fingerprint);

/*
 * Confirms, for this session, the uncertified key of `mac` whose fingerprint
 * the user was shown. Returns 1 when `fingerprint` is the held key's and the
 * MAC is not in conflict, else 0.
 */
int LORVEX_TRUST_ConfirmKey(const unsigned char mac[6], const char* fingerprint);

/*
 * Sends the first password `password` (NUL-terminated UTF-8), sealed, to the
 * not activated device `mac`, with the proof of the device's setup code
 * `setupCode` (the code on its label, "ABCD-EFGH-JKMN", typed in any case,
 * with or without spaces and dashes). Its result arrives as
 * LORVEX_SEARCH_EVENT_CONFIG like that of LORVEX_SET_CONFIG (setIPResult; 7:
 * the device refused the code; see docs/protocol.md for the values). Nothing
 * is sent when `setupCode` is not a setup code (a mistyped one fails its
 * check characters), so no try of the device is spent on it.
 */
void LORVEX_TRUST_Activate(const unsigned char mac[6], const char* password, const char* setupCode);

/* The longest time a device is asked to show itself, in seconds. */
#define LORVEX_IDENTIFY_MAX_SECONDS 300

/*
 * Asks the activated device `mac` to show itself (a light, a beep, a mark on
 * its screen) for `seconds` seconds (1..LORVEX_IDENTIFY_MAX_SECONDS), sealed
 * with its password `password` (NUL-terminated UTF-8). Its result arrives as
 * LORVEX_SEARCH_EVENT_CONFIG like that of LORVEX_SET_CONFIG (setIPResult; 1:
 * wrong password, counted toward the device's lock like one in a
 * configuration request). Nothing is sent for a time out of range or a
 * password too long for one datagram, nor to a key that may not receive a
 * secret (see LORVEX_TRUST_Identity).
 */
void LORVEX_TRUST_Identify(const unsigned char mac[6], const char* password, int seconds);

/* A snapshot token's size in bytes, and how long a device honours it. */
#define LORVEX_SNAPSHOT_TOKEN_BYTES 32
#define LORVEX_SNAPSHOT_TOKEN_SECONDS 10

/*
 * Asks the activated IP camera `mac` to give one picture for `token`
 * (LORVEX_SNAPSHOT_TOKEN_BYTES random bytes the caller drew), sealed with its
 * password `password`. Its result arrives as LORVEX_SEARCH_EVENT_CONFIG like
 * that of LORVEX_SET_CONFIG (setIPResult; 1: wrong password, counted toward
 * the device's lock, or no camera). On 0 the camera answers one HTTP
 * `GET /snapshot?token=HEX` (64 lowercase hexadecimal digits) from this
 * host's address within LORVEX_SNAPSHOT_TOKEN_SECONDS with its picture.
 * Nothing is sent to a key that may not receive a secret.
 */
void LORVEX_TRUST_SnapshotToken(const unsigned char mac[6], const char* password,
                                const unsigned char token[LORVEX_SNAPSHOT_TOKEN_BYTES]);

/*
 * As LORVEX_SET_DevRestoreDefault, with the device's answer: -1 when no
 * authentic acknowledgement came within 3000 ms, else its restoreResult
 * (0 restored, 5 the reset button was not pressed within 10 minutes).
 */
int LORVEX_TRUST_Restore(const unsigned char mac[6]);

#ifdef __cplusplus
}
#endif
