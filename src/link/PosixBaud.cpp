// Bit rates that have no B-constant (14400, 56000, 128000, 256000) need the
// kernel's termios2 interface, whose header cannot live beside <termios.h>.

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

int SetCustomBaudRate(int fd, unsigned baud) {
  struct termios2 t;
  if (ioctl(fd, TCGETS2, &t) != 0) return errno;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = t.c_ospeed = baud;
  return ioctl(fd, TCSETS2, &t) != 0 ? errno : 0;
}
