/*
** imagebuild_layout.S: an image whose every byte the tests know.
**
** main covers each kind of code relocation once or twice; the offsets in
** the comments are code offsets (main is the entry, so its section lies at
** code offset 0) and the image tests check against them.
*/
	.section .text.main,"ax",@progbits
	.globl main
	.type main,@function
main:
	call RuntimeInit                /* 0:  rel32 chain RuntimeInit, site 1 */
	movl $.Lhello, %edi             /* 5:  string "hello", site 6 */
	call RuntimeConsolePrint        /* 10: rel32 chain RuntimeConsolePrint, site 11 */
	movl $.Lhello_again, %edi       /* 15: the same text, the same record, site 16 */
	call RuntimeConsolePrint        /* 20: site 21 */
	movl $.Lempty, %edi             /* 25: "" is the null handle, site 26 */
	movl $.Lworld, %esi             /* 30: string "world", site 31 */
	movl $counter, %eax             /* 35: .bss, site 36 */
	movl $table+4, %eax             /* 40: .data + 4, site 41 */
	movl $helper, %eax              /* 45: code address, site 46 */
	movl $RuntimeVersionTable, %eax /* 50: absolute chain, site 51 */
	call helper                     /* 55: resolved by the builder, site 56 */
	call LibraryCall                /* 60: library chain, site 61 */
	movl $RuntimeVersionTable, %ecx /* 65: absolute chain, site 66 */
	movl $.Llong, %edx              /* 70: 300-byte string, site 71 */
	jmp RuntimeExit                 /* 75: rel32 chain through a jmp, site 76 */
	.size main, .-main

	.section .text.helper,"ax",@progbits
	.p2align 4
	.globl helper
	.type helper,@function
helper:                             /* code offset 80 */
	.cfi_startproc                  /* unwind tables (.eh_frame) are dropped */
	call RuntimeInit                /* 80: site 81, second link of RuntimeInit */
	ret
	.cfi_endproc
	.size helper, .-helper

	/* A local function: it precedes the globals in the ELF symbol table,
	** so the symbol segment must sort it behind them. */
	.section .text.tail,"ax",@progbits
	.p2align 3
	.type tail,@function
tail:                               /* code offset 88 */
	ret
	.size tail, .-tail

	.section .rodata.str1.1,"aMS",@progbits,1
.Lhello:
	.asciz "hello"
.Lempty:
	.asciz ""
.Lhello_again:
	.asciz "hello"
.Lworld:
	.asciz "world"
.Llong:
	.rept 30
	.ascii "0123456789"
	.endr
	.byte 0

	.data
	.p2align 2
table:
	.long 11, 22, 33

	.bss
	.p2align 3
counter:
	.zero 8

	.section .note.GNU-stack,"",@progbits
