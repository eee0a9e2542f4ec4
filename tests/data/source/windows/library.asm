; A 16-bit icon library (.icl) as icon-library editors write it: a resource-only NE file
; whose COUNT icon groups are named ICON1, ICON2, ...; every group holds one 32x32 1-bit
; image, all of them the same bytes (mono.ico's) to keep the file small.
;   nasm -f bin -o library.icl library.asm      (from a folder holding mono.ico)
bits 16
SHIFT equ 4
COUNT equ 120

mz:     db "MZ"
        times 0x3C - ($ - mz) db 0
        dd ne

ne:     db "NE"
        times 0x24 - ($ - ne) db 0
        dw resources - ne
        dw resident - ne
        times 0x40 - ($ - ne) db 0

resources:
        dw SHIFT
        dw 0x800E, COUNT                ; RT_GROUP_ICON
        dd 0
%assign i 1
%rep COUNT
        dw (group %+ i - mz) >> SHIFT, 2, 0x1C30, name %+ i - resources, 0, 0
%assign i i + 1
%endrep
        dw 0x8003, COUNT                ; RT_ICON, all of them the one image
        dd 0
%assign i 1
%rep COUNT
        dw (image - mz) >> SHIFT, (image_end - image + 15) >> SHIFT, 0x1C30, 0x8000 | i, 0, 0
%assign i i + 1
%endrep
        dw 0
%assign i 1
%rep COUNT
%defstr digits i
%strcat text "ICON", digits
%strlen length text
name %+ i: db length, text
%assign i i + 1
%endrep
        db 0
resident:
        db 0

%assign i 1
%rep COUNT
align 16, db 0
group %+ i: dw 0, 1, 1
        db 32, 32, 2, 0
        dw 1, 1
        dd image_end - image
        dw i
%assign i i + 1
%endrep
align 16, db 0
image:  incbin "mono.ico", 22, 304
image_end:
align 16, db 0
