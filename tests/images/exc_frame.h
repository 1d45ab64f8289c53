/*
** exc_frame.h: conventions shared by the exception test images in
** assembly (exc_*.S).  The in-process dispatch tests
** (tests/objects/exception_dispatch_test.cpp) hand this file straight to
** the assembler for HANDLER_RECORD; to it the preprocessor lines are
** comments, so it holds nothing but macros and comments.
**
** Every method keeps the frame
**   [rbp-8]   its stack pointer, stored after the prologue (a handler
**             arrives with the callee's stack pointer and reloads it)
**   [rbp-16]  the exception variable of its handler records
**   [rbp-24]  "a statement after the raise ran" flag
**   [rbp-32], [rbp-40]  scratch
** and calls RuntimeStackCheck on entry.
**
** Between a call site and the handler record the dispatch is expected to
** find, only instructions without relocated bytes appear (no calls, no
** string addresses): the forward scan reads every byte it passes, and a
** displacement must not be able to fake an epilogue or a marker.
*/
#ifndef QUENDAL_TESTS_IMAGES_EXC_FRAME_H
#define QUENDAL_TESTS_IMAGES_EXC_FRAME_H

	.macro METHOD_ENTRY
	pushq %rbp
	movq %rsp, %rbp
	subq $48, %rsp
	movq %rsp, -8(%rbp)
	movq $0, -16(%rbp)
	movq $0, -24(%rbp)
	movq $0, -32(%rbp)
	call RuntimeStackCheck
	.endm

	/* A handler record: jump over it to \after, marker, zero word, the
	** variable's position relative to rbp (0: none).  The handler code
	** follows the record. */
	.macro HANDLER_RECORD marker, variable, after
	.byte 0xE9
	.long \after - . - 4
	.long \marker
	.word 0
	.word \variable
	.endm

	/* First act of every handler. */
	.macro RELOAD_STACK
	movq -8(%rbp), %rsp
	.endm

	.macro PRINT label
	movl $\label, %edi
	call RuntimeConsolePrint
	.endm

	/* Prints text when the 64-bit frame slot at offset is not zero. */
	.macro PRINT_IF_SET offset, label
	cmpq $0, \offset(%rbp)
	je 77f
	PRINT \label
77:
	.endm

	.macro FUNCTION name
	.section .text.\name,"ax",@progbits
	.p2align 4
	.globl \name
	.type \name,@function
\name:
	.endm

#endif
