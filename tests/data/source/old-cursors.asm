; A 16-bit Windows (NE) program's cursors: the two images of hand.cur, and two cursor
; groups holding them, one named by a string and one by a number. No code.
;   nasm -f bin -o old-cursors.exe old-cursors.asm   (from a folder holding makeicons.py's output)
bits 16
SHIFT equ 4

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
        dw 0x800C, 2                    ; RT_GROUP_CURSOR, two: a string name, then 5
        dd 0
        dw (group - mz) >> SHIFT, (group_end - group + 15) >> SHIFT, 0x1C30, pointer - resources, 0, 0
        dw (group - mz) >> SHIFT, (group_end - group + 15) >> SHIFT, 0x1C30, 0x8005, 0, 0
        dw 0x8001, 2                    ; RT_CURSOR, two
        dd 0
        dw (cursor1 - mz) >> SHIFT, (cursor1_end - cursor1 + 15) >> SHIFT, 0x1C30, 0x8001, 0, 0
        dw (cursor2 - mz) >> SHIFT, (cursor2_end - cursor2 + 15) >> SHIFT, 0x1C30, 0x8002, 0, 0
        dw 0
pointer: db 7, "POINTER"
        db 0
resident:
        db 0

align 16, db 0
group:  incbin "necur.grp"
group_end:
align 16, db 0
cursor1: incbin "necur1.bin"
cursor1_end:
align 16, db 0
cursor2: incbin "necur2.bin"
cursor2_end:
align 16, db 0
