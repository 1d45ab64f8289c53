/*
** A method's own handler receives an exception that a runtime service
** raises; the statement after the raise does not run.
*/
#include "exc_frame.h"

	FUNCTION main
	METHOD_ENTRY
	PRINT .Lbefore
	call RaiseNilObjectException
	movq $1, -24(%rbp)
	HANDLER_RECORD 0x411, -16, 1f
	RELOAD_STACK
	PRINT .Lcaught
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
	movq $0, -16(%rbp)
1:
	PRINT .Lend
	xorl %eax, %eax
	leave
	ret
	.size main, .-main

	.section .rodata.str1.1,"aMS",@progbits,1
.Lbefore:	.asciz "before the raise"
.Lafter:	.asciz "the statement after the raise ran"
.Lcaught:	.asciz "handler"
.Lclass:	.asciz "NilObjectException"
.Lend:	.asciz "end of main"
