; QEL Writer example: blinks an LED on port B pin 0.
;
; A 12-bit program; the Writer program translates it into QEL instructions
; when it opens example.hex. Build the HEX again after a change with
;
;     gpasm -o example.hex example.asm
;
; example.cfg beside it holds the OPTION word (RC oscillator, no code
; protection), so Auto Program (F8) can burn the part as it stands.

        LIST    P=16C54, R=DEC

PORTB   EQU     6
OUTER   EQU     8               ; delay counters
INNER   EQU     9

        ORG     0
start   MOVLW   0
        TRIS    PORTB           ; every pin of port B drives
        CLRF    PORTB
blink   MOVLW   1
        XORWF   PORTB, F        ; toggle the LED
        CALL    delay
        GOTO    blink

; About 200 ms at a 4 MHz clock.
delay   MOVLW   255
        MOVWF   OUTER
outer   MOVLW   255
        MOVWF   INNER
inner   DECFSZ  INNER, F
        GOTO    inner
        DECFSZ  OUTER, F
        GOTO    outer
        RETLW   0

        END
