package com.vantor.ovix.config;

import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.util.Properties;

/**
 * Stand-in of the device's configuration class. Firmware versions, update
 * flags and network addresses come from one Java properties file, read once
 * per VM: the file that the system property {@code ovix.config} names, or
 * {@value #DEFAULT_CONFIG_FILE}.
 *
 * <p>Keys of the file:
 * <pre>
 * firmware.version.IMAGE   version of an image as one integer (10203 reads 01.02.03)
 * update.state.IMAGE       update flag of image 200 or 201, a number of the table below
 * network.lan.ip4          IPv4 address on the LAN; empty or absent when the LAN is down
 * network.wlan.ip4         IPv4 address on the WLAN; empty or absent when the WLAN is down
 * </pre>
 * IMAGE is 200 (system image), 201 (application image) or 204 (package image).
 *
 * <p>Update states: 0 no update pending, 1 update in progress, 2 update done
 * (new image active after reboot), 3 update failed. Error codes returned by
 * {@link #getUpdateState}: -1 flag not readable (file or key missing), -2 no
 * update flag for that image, -3 flag holds no number.
 */
public final class ConfigOvix {
    public static final String CONFIG_PROPERTY = "ovix.config";
    public static final String DEFAULT_CONFIG_FILE = "/app/ovix.properties";

    public static final int STATE_NONE = 0;
    public static final int STATE_IN_PROGRESS = 1;
    public static final int STATE_DONE = 2;
    public static final int STATE_FAILED = 3;

    public static final int ERROR_NOT_READABLE = -1;
    public static final int ERROR_UNKNOWN_IMAGE = -2;
    public static final int ERROR_INVALID = -3;

    private static Properties config;

    private ConfigOvix() {}

    /** The version of an image; throws when the file does not give one. */
    public static int getFirmwareVersion(int image) {
        String value = load().getProperty(key("firmware.version.", image));
        if (value == null) {
            throw new IllegalArgumentException(key("no firmware version for image ", image));
        }
        return Integer.parseInt(value.trim());
    }

    /** The update flag of image 200 or 201, or a negative error code. */
    public static int getUpdateState(int image) {
        if (image != 200 && image != 201) return ERROR_UNKNOWN_IMAGE;
        String value = load().getProperty(key("update.state.", image));
        if (value == null) return ERROR_NOT_READABLE;
        try {
            return Integer.parseInt(value.trim());
        } catch (NumberFormatException e) {
            return ERROR_INVALID;
        }
    }

    public static String getLanIp4AddressS() {
        return load().getProperty("network.lan.ip4", "").trim();
    }

    public static String getWlanIp4AddressS() {
        return load().getProperty("network.wlan.ip4", "").trim();
    }

    // Plain concatenation: "+" on strings would bootstrap the invokedynamic
    // machinery, some hundred classes, on every start of the VM.
    private static String key(String prefix, int image) {
        return prefix.concat(Integer.toString(image));
    }

    private static synchronized Properties load() {
        if (config == null) {
            config = new Properties();
            String path = System.getProperty(CONFIG_PROPERTY, DEFAULT_CONFIG_FILE);
            try (InputStream in = new FileInputStream(path)) {
                config.load(in);
            } catch (IOException e) {
                // An unreadable file gives no values: versions throw, flags read -1.
            }
        }
        return config;
    }
}
