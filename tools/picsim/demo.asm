; A small application for a unit with our bootloader: once started it sends a greeting on the
; serial port, then idles. 20 MHz, 9600 baud.
;
; The package builder moves the first three words behind a CLRF PCLATH at the top of the
; image, so the program must be under way within them: here a GOTO in the first word.

#ifdef __16F876A
        #include <p16f876a.inc>
#else
        #include <p16f877a.inc>
#endif
        errorlevel -302                 ; banks are chosen by hand below

        org 0
        goto    Start

        org 4
Start:  bsf     STATUS, RP0
        bcf     TRISC, 6                ; TX as output
        movlw   .129                    ; 9600 baud at 20 MHz, high baud rate
        movwf   SPBRG
        movlw   b'00100100'             ; transmitter on, high baud rate
        movwf   TXSTA
        bcf     STATUS, RP0
        movlw   b'10010000'
        movwf   RCSTA
        clrf    0x20                    ; index into the greeting
Next:   movf    0x20, w
        call    Greeting
        iorlw   0
        btfsc   STATUS, Z
        goto    Idle
Wait:   btfss   PIR1, TXIF
        goto    Wait
        movwf   TXREG
        incf    0x20, f
        goto    Next
Idle:   goto    Idle

Greeting:
        addwf   PCL, f                  ; the table stays within the first 256 words
        dt      "TORV5 demo 1.0 running", 0x0D, 0x0A, 0

        end
