/* Scanner communication library: the ten operations through which the tool talks to a pocket
 * batch scanner on a serial port. At most one port is held at a time, from a successful
 * csp2InitEx until csp2Restore. Every call returns a 32-bit signed result. */
#ifndef KESSMAR_CSP2_H
#define KESSMAR_CSP2_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Opens COM<port> (see the ports directory) and holds it. Negative: failure, nothing held. */
int32_t csp2InitEx(int32_t port);
/* Gives the port back and ends the link. Result without meaning. */
int32_t csp2Restore(void);
/* Greater than 0: scanner present; exactly 1 while the link is up means scans are waiting.
 * 0: not present (no port, no answer within the time-out, or a garbled answer). */
int32_t csp2GetCTS(void);
/* Greater than 0: scanner present; 0: not present. */
int32_t csp2GetDSR(void);
/* Asks the scanner for its identity; called once when the link comes up. */
int32_t csp2Interrogate(void);
/* Fills the first 8 bytes of buffer (size at least 9) with the scanner id; greater than 0 on
 * success, 0 or less on failure. */
int32_t csp2GetDeviceId(char* buffer, int32_t size);
/* Fetches the stored scans from the scanner; returns their number, 0 or less: none. */
int32_t csp2ReadData(void);
/* Copies scan number index (0-based, of the last csp2ReadData) into buffer: 2 unused bytes,
 * the barcode text, 4 time-stamp bytes. Returns the packet length, 0 or less on failure. */
int32_t csp2GetPacket(char* buffer, int32_t index, int32_t size);
/* Renders the 4 time-stamp bytes as zero-terminated date and time text into buffer. */
int32_t csp2TimeStamp2Str(const unsigned char* stamp, char* buffer, int32_t size);
/* Erases the scans stored in the scanner. */
int32_t csp2ClearData(void);

#ifdef __cplusplus
}
#endif

#endif /* KESSMAR_CSP2_H */
