/* Refused by the image builder: gcc loads a global RIP-relative, which an
** image cannot hold (code and data are placed apart). */
int counter;

int main(void) { return counter; }
