/* The few C library routines the compiler may call on its own; a kernel
 * driver has no C runtime to take them from. */
#include <stddef.h>

void* memcpy(void* to, const void* from, size_t count);
void* memmove(void* to, const void* from, size_t count);
void* memset(void* to, int value, size_t count);
int memcmp(const void* a, const void* b, size_t count);

void* memcpy(void* to, const void* from, size_t count) {
  unsigned char* t = to;
  const unsigned char* f = from;
  while (count-- > 0) *t++ = *f++;
  return to;
}

void* memmove(void* to, const void* from, size_t count) {
  unsigned char* t = to;
  const unsigned char* f = from;
  if (t < f) return memcpy(to, from, count);
  while (count-- > 0) t[count] = f[count];
  return to;
}

void* memset(void* to, int value, size_t count) {
  unsigned char* t = to;
  while (count-- > 0) *t++ = (unsigned char)value;
  return to;
}

int memcmp(const void* a, const void* b, size_t count) {
  const unsigned char* x = a;
  const unsigned char* y = b;
  for (; count > 0; --count, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}
