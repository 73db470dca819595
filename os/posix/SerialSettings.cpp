#include "os/posix/SerialSettings.h"

namespace vornex::posix {

namespace {

// Index: data bits less five. Not a shifted count: the values are what the
// headers of the architecture say.
constexpr tcflag_t CharSizes[] = {CS5, CS6, CS7, CS8};

}  // namespace

tcflag_t CharSizeFlag(int dataBits) { return CharSizes[dataBits - 5]; }

int DataBits(tcflag_t cflag) {
  int bits = 5;
  while (bits < 8 && CharSizes[bits - 5] != (cflag & CSIZE)) ++bits;
  return bits;
}

bool TermiosFromDcb(const DCB& dcb, termios2& t) {
  if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
      dcb.StopBits > TWOSTOPBITS || dcb.BaudRate == 0 ||
      (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) ||
      (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5) ||
      ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) ||
      // Linux has no DTR/DSR handshake: refused rather than left off, so the
      // user learns the line does not hold back as asked.
      dcb.fOutxDsrFlow || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE)
    return false;
  // Every rate by number (BOTHER), the standard ones and the others alike.
  t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= BOTHER | CREAD | CLOCAL;
  t.c_ispeed = t.c_ospeed = dcb.BaudRate;
  t.c_cflag |= CharSizeFlag(dcb.ByteSize);
  switch (dcb.Parity) {
    case ODDPARITY: t.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: t.c_cflag |= PARENB; break;
    case MARKPARITY: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // Two stop bits; with five data bits the UART makes that one and a half.
  if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF | INPCK);
  if (dcb.fOutX) t.c_iflag |= IXON;
  if (dcb.fInX) t.c_iflag |= IXOFF;
  if (dcb.fParity) t.c_iflag |= INPCK;
  t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  return true;
}

void DcbFromTermios(const termios2& t, DCB& dcb) {
  dcb.DCBlength = sizeof(DCB);
  dcb.fBinary = 1;
  dcb.BaudRate = t.c_ospeed;
  dcb.ByteSize = static_cast<BYTE>(DataBits(t.c_cflag));
  if (!(t.c_cflag & PARENB))
    dcb.Parity = NOPARITY;
  else if (t.c_cflag & CMSPAR)
    dcb.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  else
    dcb.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
  if (t.c_cflag & CSTOPB)
    dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
  else
    dcb.StopBits = ONESTOPBIT;
  const bool rtscts = (t.c_cflag & CRTSCTS) != 0;
  dcb.fOutxCtsFlow = rtscts;
  if (rtscts)
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  else if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fOutX = (t.c_iflag & IXON) != 0;
  dcb.fInX = (t.c_iflag & IXOFF) != 0;
  dcb.fParity = (t.c_iflag & INPCK) != 0;
  dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
  dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
}

}  // namespace vornex::posix
