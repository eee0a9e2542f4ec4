; A 16-bit Windows (NE) program's resources: one icon group holding the five DIB images
; of sizes.ico (16x16x4, 32x32x4, 32x32x8, 32x32x24, 48x48x32), as the old resource
; compilers laid them out: offsets and lengths in 16-byte units. No code: it is read, never run.
;   nasm -f bin -o old.exe old.asm      (from a folder holding sizes.ico)
bits 16
SHIFT equ 4

%macro image 3 ; name, offset in sizes.ico, length
align 16, db 0
%1: incbin "sizes.ico", %2, %3
%1_end:
%endmacro

mz:     db "MZ"
        times 0x3C - ($ - mz) db 0
        dd ne

ne:     db "NE"                         ; the header's other fields are of no use to a reader of resources
        times 0x24 - ($ - ne) db 0
        dw resources - ne
        dw resident - ne
        times 0x40 - ($ - ne) db 0

resources:
        dw SHIFT
        dw 0x800E, 1                    ; RT_GROUP_ICON, one
        dd 0
        dw (group - mz) >> SHIFT, (group_end - group + 15) >> SHIFT, 0x1C30, 0x8001, 0, 0
        dw 0x8003, 5                    ; RT_ICON, five
        dd 0
%assign i 1
%rep 5
        dw (icon %+ i - mz) >> SHIFT, (icon %+ i %+ _end - icon %+ i + 15) >> SHIFT, 0x1C30, 0x8000 | i, 0, 0
%assign i i + 1
%endrep
        dw 0
resident:
        db 0

align 16, db 0
group:  dw 0, 1, 5
        db 16, 16, 16, 0
        dw 1, 4
        dd 296
        dw 1
        db 32, 32, 16, 0
        dw 1, 4
        dd 744
        dw 2
        db 32, 32, 0, 0
        dw 1, 8
        dd 2216
        dw 3
        db 32, 32, 0, 0
        dw 1, 24
        dd 3240
        dw 4
        db 48, 48, 0, 0
        dw 1, 32
        dd 9640
        dw 5
group_end:
        image icon1, 102, 296
        image icon2, 398, 744
        image icon3, 1142, 2216
        image icon4, 3358, 3240
        image icon5, 6598, 9640
align 16, db 0
