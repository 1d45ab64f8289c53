/* Refused by the image builder: the entry routine does not start its
** section (as when a file is compiled without -ffunction-sections). */
	.section .text.both,"ax",@progbits
	.type first,@function
first:
	ret
	.size first, .-first
	.globl main
	.type main,@function
main:
	call first
	ret
	.size main, .-main

	.section .note.GNU-stack,"",@progbits
