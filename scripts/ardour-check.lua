-- Run by scripts/ardour-check.sh through ardour7-lua, after Ardour's scanner has
-- cached the bundle: arg[1] is a session folder that does not exist yet.
-- Puts the plug-in on a track beside a plain one, both fed the same signal, and
-- checks what a user of the session would see and hear.

local names = { "Decay", "Size", "Damping", "3D Width", "Pre-Delay", "Mix", "Bypass" }

local function check(condition, message)
  if not condition then error("FAIL: " .. message, 0) end
end

local function ok(message)
  print("ardour-check:   ok " .. message)
end

-- The dummy backend's "Impulses" device gives every capture port full-scale
-- clicks, so both tracks hear the same input with no sound card, in real time.
check(AudioEngine:set_backend("None (Dummy)", "Normal Speed", ""), "Ardour has no dummy audio backend")
AudioEngine:set_device_name("Impulses")

local dir = arg[1]
check(create_session(dir, "check", 48000), "Ardour could not create a session in " .. dir)

local tracks = Session:new_audio_track(2, 2, nil, 2, "Track", ARDOUR.PresentationInfo.max_order,
                                       ARDOUR.TrackMode.Normal, true, false)
check(tracks:size() == 2, "Ardour could not add two stereo tracks")
local dry, wet
for track in tracks:iter() do
  if dry then wet = track else dry = track end
  -- With the transport stopped, only input monitoring sends the live signal on.
  track:monitoring_control():set_value(ARDOUR.MonitorChoice.MonitorInput, PBD.GroupControlDisposition.NoGroup)
end

local proc = ARDOUR.LuaAPI.new_plugin(Session, "Drevon Orbelune", ARDOUR.PluginType.VST3, "")
check(not proc:isnil(), "Ardour has no VST3 plug-in named Drevon Orbelune (was the scan cached?)")
check(wet:add_processor_by_index(proc, 0, nil, true) == 0, "Ardour could not insert the plug-in on a track")
check(proc:active(), "the plug-in is on the track but not active")
ok("loaded: " .. proc:display_name() .. " by " .. proc:to_insert():plugin(0):maker())

-- Parameter names as Ardour lists them, in order, with each one's index among
-- the control inputs (the index Ardour's parameter calls take).
local plugin = proc:to_insert():plugin(0)
local listed, index = {}, {}
for i = 0, plugin:parameter_count() - 1 do
  if plugin:parameter_is_control(i) and plugin:parameter_is_input(i) then
    local _, descriptor = plugin:get_parameter_descriptor(i, ARDOUR.ParameterDescriptor())
    index[descriptor[2].label] = #listed
    listed[#listed + 1] = descriptor[2].label
  end
end
check(table.concat(listed, ", ") == table.concat(names, ", "),
      "Ardour lists the parameters " .. table.concat(listed, ", ") .. "; expected " .. table.concat(names, ", "))
ok("parameters: " .. table.concat(listed, ", "))

local function set(name, value)
  ARDOUR.LuaAPI.set_processor_param(proc, index[name], value)
end

-- Peak levels of both channels of a track over one second, after the last
-- change has had time to reach the plug-in and the old level to leave the meter.
local function levels()
  sleep(0.3)
  dry:peak_meter():reset_max()
  wet:peak_meter():reset_max()
  sleep(1.0)
  local function of(track)
    local meter = track:peak_meter()
    return { meter:meter_level(0, ARDOUR.MeterType.MeterMaxPeak), meter:meter_level(1, ARDOUR.MeterType.MeterMaxPeak) }
  end
  return of(dry), of(wet)
end

local function describe(l) return string.format("%.2f / %.2f dBFS", l[1], l[2]) end

local function same(a, b)
  return math.abs(a[1] - b[1]) < 0.5 and math.abs(a[2] - b[2]) < 0.5
end

-- At Mix 0 the plug-in must hand the input on; at Mix 100 only the reverb is
-- heard, and a click's reverb spreads its energy over time, so its peak sits well
-- under the click's. Both directions prove that a parameter set in Ardour
-- reaches the processor. (A steady tone would not do: its reverb builds up over
-- the decay time towards the dry level.)
set("Mix", 0)
local d, w = levels()
check(d[1] > -30 and d[2] > -30, "the plain track hears no input (" .. describe(d) .. ")")
check(same(d, w), "at Mix 0 the plug-in's output (" .. describe(w) .. ") is not its input (" .. describe(d) .. ")")
ok("Mix 0 passes the input on: " .. describe(w))

set("Mix", 100)
d, w = levels()
local function usable(l) return l[1] == l[1] and l[2] == l[2] and l[1] > -60 and l[2] > -60 and l[1] < 6 and l[2] < 6 end
check(usable(w), "at Mix 100 the output level is " .. describe(w) .. " (silent, clipping or not a number)")
check(w[1] < d[1] - 3 and w[2] < d[2] - 3,
      "at Mix 100 the output (" .. describe(w) .. ") is still the input (" .. describe(d) .. "): the setting never reached the processor")
ok("Mix 100 is reverb only: " .. describe(w) .. " against " .. describe(d) .. " dry")

set("Bypass", 1)
d, w = levels()
check(same(d, w), "with Bypass on the output (" .. describe(w) .. ") is not the input (" .. describe(d) .. ")")
ok("Bypass passes the input on: " .. describe(w))
set("Bypass", 0)

-- A value set in Ardour's units goes to the plug-in as a normalised value and
-- comes back through the plug-in's own conversion. It is set while the plug-in
-- is switched off, so it reaches the controller but no processing: the saved
-- state must hold it all the same.
proc:deactivate()
set("Decay", 2.5)
local decay = ARDOUR.LuaAPI.get_processor_param(proc, index["Decay"], true)
check(math.abs(decay - 2.5) < 0.001, "Decay set to 2.5 reads back as " .. tostring(decay))
ok("Decay 2.5 reads back as " .. string.format("%.4f", decay))

-- The session saved and opened again must bring the setting back.
check(Session:save_state("", false, false, false, false, false) == 0, "Ardour could not save the session")
local track_name = wet:name()
-- Our references would keep the closed session's objects alive.
tracks, dry, wet, proc, plugin = nil, nil, nil, nil, nil
collectgarbage()
close_session()
check(load_session(dir, "check"), "Ardour could not open the saved session again")
local reopened = Session:route_by_name(track_name):nth_plugin(0)
check(not reopened:isnil(), "the reopened session has no plug-in on the track")
decay = ARDOUR.LuaAPI.get_processor_param(reopened, index["Decay"], true)
check(math.abs(decay - 2.5) < 0.001, "after reopening the session Decay is " .. tostring(decay) .. ", not 2.5")
ok("saved and reopened, Decay still " .. string.format("%.4f", decay))

-- The factory presets in Ardour's own preset list: choosing one sets its
-- values, as the host shows them.
local reopenedPlugin = reopened:to_insert():plugin(0)
local hall = reopenedPlugin:preset_by_label("Large Hall")
check(hall ~= nil, "Ardour lists no factory preset named Large Hall")
check(reopenedPlugin:load_preset(hall), "Ardour could not load the preset Large Hall")
sleep(0.3)
ARDOUR.LuaAPI.get_processor_param(reopened, index["Decay"], true)  -- the host's first question after the choice
decay = ARDOUR.LuaAPI.get_processor_param(reopened, index["Decay"], true)
check(math.abs(decay - 11.325) < 0.01, "after choosing Large Hall Decay is " .. tostring(decay) .. ", not 11.33")
ok("preset Large Hall chosen from Ardour's list, Decay now " .. string.format("%.2f", decay))

-- The LV2 bundle, on a track of its own: Ardour finds it by name, lists its
-- controls in the units they show (and the enable switch, which it ties to
-- its own bypass button) and runs it.
local lv2tracks = Session:new_audio_track(2, 2, nil, 1, "LV2", ARDOUR.PresentationInfo.max_order,
                                          ARDOUR.TrackMode.Normal, true, false)
local lv2proc = ARDOUR.LuaAPI.new_plugin(Session, "Drevon Orbelune", ARDOUR.PluginType.LV2, "")
check(not lv2proc:isnil(), "Ardour has no LV2 plug-in named Drevon Orbelune")
check(lv2tracks:front():add_processor_by_index(lv2proc, 0, nil, true) == 0, "Ardour could not insert the LV2 plug-in")
check(lv2proc:active(), "the LV2 plug-in is on the track but not active")
local lv2plugin = lv2proc:to_insert():plugin(0)
local lv2listed = {}
for i = 0, lv2plugin:parameter_count() - 1 do
  if lv2plugin:parameter_is_control(i) and lv2plugin:parameter_is_input(i) then
    local _, descriptor = lv2plugin:get_parameter_descriptor(i, ARDOUR.ParameterDescriptor())
    lv2listed[#lv2listed + 1] = descriptor[2].label
  end
end
local lv2names = table.concat(lv2listed, ", ")
check(lv2names:find("Decay, Size, Damping, 3D Width, Pre%-Delay, Mix", 1) == 1,
      "Ardour lists the LV2 controls " .. lv2names)
ok("LV2 loaded and running, controls: " .. lv2names)

print("ardour-check: session checks passed")
