// SPDX-License-Identifier: MIT
/* The baseline of the cold-start benchmark: a statically linked program that does nothing. */
int main(void) { return 0; }
