/* Scanner communication library: the ten operations through which the tool talks to a pocket
 * batch scanner on a serial port. At most one port is held at a time, from a successful
 * csp2InitEx until csp2Restore. Every call returns a 32-bit signed result. */
#ifndef KESSMAR_CSP2_H
#define KESSMAR_CSP2_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Resolves COM<port> through the ports directory and sysfs (on Windows: the system's COM
 * ports), opens it raw (115200 8N1) and holds it, giving back a port held before. 0: held;
 * negative: no such port or it cannot be opened, nothing held. The scanner is not asked
 * anything yet. */
int32_t csp2InitEx(int32_t port);
/* Gives the port back and ends the link; forgets the last batch. Returns 0. */
int32_t csp2Restore(void);
/* Asks the scanner for its status. 1: present with scans waiting; 2: present, nothing waiting;
 * 0: not present (no port held, no answer within 250 ms, a garbled answer, or the device gone). */
int32_t csp2GetCTS(void);
/* 1: the scanner answers its status; 0: not present. */
int32_t csp2GetDSR(void);
/* Asks the scanner for its identity. 1 on an answer, -1 otherwise. */
int32_t csp2Interrogate(void);
/* Fills the first 8 bytes of buffer with the scanner id (and byte 8 with 0 when size > 8).
 * 8 on success; -1 when buffer is null, size below 8, or the scanner does not answer. */
int32_t csp2GetDeviceId(char* buffer, int32_t size);
/* Fetches every stored scan at once and keeps them until the next read or csp2Restore.
 * Returns their number (0: none stored); -1 when the batch did not arrive whole and intact, in
 * which case no scan is kept. */
int32_t csp2ReadData(void);
/* Copies scan number index (0-based, of the last csp2ReadData) into buffer: 2 unused bytes
 * (zero), the barcode text, 4 time-stamp bytes. Returns the packet length (at most 256); -1 for
 * a null buffer, an index out of range, or a packet longer than size (nothing is written). */
int32_t csp2GetPacket(char* buffer, int32_t index, int32_t size);
/* Renders the 4 time-stamp bytes as zero-terminated "yyyy/mm/dd hh:nn:ss" into buffer (19
 * characters). 0 on success; -1 when a field is out of range (text still written) or size is
 * below 20 (buffer[0] set to 0 when size > 0). Needs no port. */
int32_t csp2TimeStamp2Str(const unsigned char* stamp, char* buffer, int32_t size);
/* Erases in the scanner the scans delivered by the last successful csp2ReadData on this link;
 * scans stored after that read stay. 0 when done or nothing was read; -1 on failure. */
int32_t csp2ClearData(void);

#ifdef __cplusplus
}
#endif

#endif /* KESSMAR_CSP2_H */
