/*
** Unbounded recursion: the stack check raises StackOverflowException,
** which passes thousands of frames without handler records and reaches
** the handler of main.
*/
#include "exc_frame.h"

	FUNCTION main
	METHOD_ENTRY
	call recurse
	movq $1, -24(%rbp)
	HANDLER_RECORD 0x411, -16, 1f
	RELOAD_STACK
	PRINT_IF_SET -24, .Lafter
	movl $.Lclass, %edi
	call RuntimeLookupClass
	movq %rax, %rsi
	movq -16(%rbp), %rdi
	call RuntimeObjectIsa
	testb %al, %al
	je 2f
	PRINT .Lclass
2:
	movq -16(%rbp), %rdi
	call RuntimeUnlockObject
1:
	PRINT .Lend
	xorl %eax, %eax
	leave
	ret
	.size main, .-main

	FUNCTION recurse
	pushq %rbp
	movq %rsp, %rbp
	call RuntimeStackCheck
	call recurse
	popq %rbp
	ret
	.size recurse, .-recurse

	.section .rodata.str1.1,"aMS",@progbits,1
.Lclass:	.asciz "StackOverflowException"
.Lafter:	.asciz "a statement after the raise ran"
.Lend:	.asciz "end of main"
