// The serial component's enumerations and the platform values each member
// stands for.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "os/WinTypes.h"

namespace vornex {

// A set of enumeration members, as a bit per ordinal.
template <typename E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E m : members) Bits |= Bit(m);
  }
  constexpr bool Contains(E m) const { return (Bits & Bit(m)) != 0; }
  constexpr TSet& Include(E m) {
    Bits |= Bit(m);
    return *this;
  }
  constexpr TSet& Exclude(E m) {
    Bits &= ~Bit(m);
    return *this;
  }
  constexpr bool Empty() const { return Bits == 0; }
  constexpr bool operator==(const TSet& o) const { return Bits == o.Bits; }
  constexpr bool operator!=(const TSet& o) const { return Bits != o.Bits; }

 private:
  static constexpr std::uint32_t Bit(E m) { return 1u << static_cast<unsigned>(m); }
  std::uint32_t Bits = 0;
};

enum TBaudRate : std::uint8_t {
  br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400, br56000,
  br57600, br115200, br128000, br256000
};
enum TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : std::uint8_t { sb10, sb15, sb20 };
enum TDataBits : std::uint8_t { da4, da5, da6, da7, da8 };
enum TFlowControl : std::uint8_t { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommOption : std::uint8_t {
  coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip
};
enum TCommEventType : std::uint8_t {
  evBreak, evCts, evDsr, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty
};

using TCommOptions = TSet<TCommOption>;
using TCommEventTypes = TSet<TCommEventType>;

inline constexpr DWORD BaudRateValue[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                          19200, 38400, 56000, 57600, 115200, 128000, 256000};
inline constexpr BYTE ParityValue[] = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};
inline constexpr BYTE StopBitsValue[] = {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
inline constexpr BYTE DataBitsValue[] = {4, 5, 6, 7, 8};
inline constexpr DWORD CommEventBit[] = {EV_BREAK, EV_CTS,    EV_DSR,    EV_ERR,    EV_RING,
                                         EV_RLSD,  EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY};

inline constexpr TCommEventTypes AllCommEvents{evBreak, evCts,    evDsr,    evError,  evRing,
                                               evRlsd,  evRxChar, evRxFlag, evTxEmpty};

// The port event mask of a set of events.
constexpr DWORD EventMaskOf(TCommEventTypes events) {
  DWORD mask = 0;
  for (unsigned i = 0; i < 9; ++i)
    if (events.Contains(static_cast<TCommEventType>(i))) mask |= CommEventBit[i];
  return mask;
}

}  // namespace vornex
